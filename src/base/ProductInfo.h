// The product's own addresses and file names, kept in one place. The domain is a placeholder of
// ours until the real one exists.
#pragma once

namespace sk {

inline constexpr const wchar_t* kHomepageURL = L"https://www.surfkeep.example/";
inline constexpr const wchar_t* kForumURL = L"https://forum.surfkeep.example/";
inline constexpr const wchar_t* kSupportAddress = L"support@surfkeep.example";  // "mailto:" is added when used
// The hosts list that the security shield downloads, served by a plain HTTP GET on port 80 (an
// administrator may point the shield at an https:// mirror with "HostsListUrl" in the settings).
inline constexpr const wchar_t* kHostsListURL = L"http://www.surfkeep.example/hosts/hosts.txt";
// The companion installer offered by the upgrade prompt and the promotional picture; both appear
// only when this file lies beside the program.
inline constexpr const wchar_t* kCompanionInstaller = L"SurfkeepGuardSetup.exe";

}  // namespace sk
