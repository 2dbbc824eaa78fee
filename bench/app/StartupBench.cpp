// Start-up of the real program against a minimal Win32 window under the same Wine, both measured the
// same way in the same run: the median of several starts of each, and the peak memory of each.
//
// What is timed is what a user waits for: from the process's creation to the first moment its main
// window is on the screen as it looks when the start is over, and its thread answers messages.
// The benchmark watches from outside, without help from the program; each poll, once the visible
// main window exists:
//   1. a sent WM_NULL must be answered (SendMessageTimeout): the window thread runs its message loop
//      (or pumps messages in the middle of work), so input would be handled;
//   2. the window's pixels read back from the screen must equal the picture of the same window when
//      settled, taken once from a start earlier in the same run (all but a few pixels, for a caret).
// The pixels are read from the screen, not asked of the window: what counts is what Wine has put on
// the display, after the painting and the flush of the window's surface. (The update regions of the
// window and its children say nothing about the flush, and asking each of some forty windows for
// them across processes costs 10-30 ms a poll on these machines; a picture costs about 5 ms.)
// Work a program leaves for idle time after its first paint does not count, as long as it shows
// nothing new in the window; if it does, the start lasts until the window shows it.
//
// The peak working set is read once the program is idle after the start (no CPU used for a while,
// so that idle-time work is included), from the bench with GetProcessMemoryInfo.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

constexpr int kRuns = 15;  // these machines are noisy: the median of many
constexpr DWORD kTimeoutMs = 30000;
// Pixels that may differ from the settled picture: a text caret, no more.
constexpr size_t kAllowedDifferentPixels = 48;

// The pixels of a window's rectangle as the screen shows them.
struct TScreenPicture {
    RECT Rect{};
    std::vector<uint32_t> Pixels;
};

TScreenPicture ScreenPicture(HWND wnd) {
    TScreenPicture picture;
    if (!::GetWindowRect(wnd, &picture.Rect)) return picture;
    const int width = picture.Rect.right - picture.Rect.left, height = picture.Rect.bottom - picture.Rect.top;
    if (width <= 0 || height <= 0) return picture;
    sk::TWindowDC screen(nullptr);
    sk::TMemDC memory(::CreateCompatibleDC(screen.Get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    sk::TBitmap bitmap(::CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!memory || !bitmap || !bits) return picture;
    {
        sk::TSelectObject select(memory.Get(), bitmap.Get());
        if (!::BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), picture.Rect.left, picture.Rect.top, SRCCOPY))
            return picture;
    }
    const auto* p = static_cast<const uint32_t*>(bits);
    picture.Pixels.assign(p, p + static_cast<size_t>(width) * static_cast<size_t>(height));
    for (uint32_t& px : picture.Pixels) px &= 0xFFFFFF;
    return picture;
}

// How many pixels differ; every one when the windows are not at the same place.
size_t DifferentPixels(const TScreenPicture& a, const TScreenPicture& b) {
    if (!::EqualRect(&a.Rect, &b.Rect) || a.Pixels.size() != b.Pixels.size() || a.Pixels.empty())
        return static_cast<size_t>(-1);
    size_t n = 0;
    for (size_t i = 0; i < a.Pixels.size(); ++i) n += a.Pixels[i] != b.Pixels[i];
    return n;
}

bool Matches(const TScreenPicture& a, const TScreenPicture& b) {
    return DifferentPixels(a, b) <= kAllowedDifferentPixels;
}

// Starts the program, lets it settle and returns the picture of its window then (empty on failure).
TScreenPicture SettledPicture(const std::wstring& exe) {
    skbench::TStartedProgram program(exe);
    const HWND wnd = program.WaitForWindow(kTimeoutMs);
    if (!wnd || !skbench::AnswersMessages(wnd, kTimeoutMs)) {
        std::fprintf(stderr, "%ls showed no window that answers\n", exe.c_str());
        return {};
    }
    skbench::WaitUntilQuiet(program.Process(), 300, 10000);
    // Two pictures a moment apart that agree.
    TScreenPicture last = ScreenPicture(wnd);
    for (int i = 0; i < 25; ++i) {
        ::Sleep(200);
        TScreenPicture next = ScreenPicture(wnd);
        if (Matches(last, next) && skbench::AnswersMessages(wnd, kTimeoutMs)) return next;
        last = std::move(next);
    }
    std::fprintf(stderr, "the window of %ls never stays the same on the screen\n", exe.c_str());
    return {};
}

struct TStart {
    double Ms = -1;      // to the painted window that answers
    double PeakMb = -1;  // peak working set once idle after the start
};

TStart TimeStart(const std::wstring& exe, const TScreenPicture& settled) {
    TStart start;
    skbench::TStartedProgram program(exe);
    const HWND wnd = program.WaitForWindow(kTimeoutMs);
    if (!wnd) {
        std::fprintf(stderr, "%ls showed no window\n", exe.c_str());
        return start;
    }
    for (;;) {
        if (!skbench::AnswersMessages(wnd, kTimeoutMs)) {
            std::fprintf(stderr, "the window of %ls does not answer\n", exe.c_str());
            return start;
        }
        if (Matches(ScreenPicture(wnd), settled)) break;
        if (skbench::NowMs() - program.StartedAtMs > kTimeoutMs) {
            std::fprintf(stderr, "the window of %ls did not show its settled picture\n", exe.c_str());
            return start;
        }
        ::Sleep(1);
    }
    start.Ms = skbench::NowMs() - program.StartedAtMs;
    skbench::WaitUntilQuiet(program.Process(), 300, 10000);
    start.PeakMb = skbench::PeakWorkingSetMb(program.Process());
    return start;
}

struct TSeries {
    std::wstring Exe;
    TScreenPicture Settled;
    std::vector<double> Ms, PeakMb;
    double MedianMs() const { return skbench::Median(Ms); }
    double MedianPeakMb() const { return skbench::Median(PeakMb); }
};

}  // namespace

int wmain() {
    const std::wstring here = skbench::ExeFolder();
    // The program runs from a folder of its own, where it keeps its settings.
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring appDir = std::wstring(temp) + L"surfkeep-startup-bench\\";
    ::CreateDirectoryW(appDir.c_str(), nullptr);
    const std::wstring app = appDir + L"surfkeep.exe";
    if (!::CopyFileW((here + L"..\\surfkeep.exe").c_str(), app.c_str(), FALSE)) {
        std::fprintf(stderr, "the program was not found beside the benchmarks\n");
        return 1;
    }
    // The pointer away from both windows, so that no hover effect depends on when it is noticed.
    ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 1, ::GetSystemMetrics(SM_CYSCREEN) - 1);

    TSeries program{app}, baseline{here + L"bench_minimal_window.exe"},
        floor{here + L"bench_minimal_window_same_dlls.exe"};
    {
        skbench::TStartedProgram first(app);  // the first start writes the settings and the language pack
        if (HWND wnd = first.WaitForWindow(kTimeoutMs)) skbench::AnswersMessages(wnd, kTimeoutMs);
        skbench::WaitUntilQuiet(first.Process(), 300, 10000);
    }
    for (TSeries* s : {&baseline, &floor, &program}) {
        s->Settled = SettledPicture(s->Exe);
        if (s->Settled.Pixels.empty()) return 1;
    }
    for (int i = 0; i < kRuns; ++i) {
        for (TSeries* s : {&baseline, &floor, &program}) {
            const TStart start = TimeStart(s->Exe, s->Settled);
            if (start.Ms <= 0 || start.PeakMb <= 0) return 1;
            s->Ms.push_back(start.Ms);
            s->PeakMb.push_back(start.PeakMb);
        }
    }
    const double p = program.MedianMs(), b = baseline.MedianMs(), f = floor.MedianMs();
    skbench::Report("startup-ms", p, "ms", "");
    skbench::Report("startup-baseline-ms", b, "ms", "");
    // What an empty window costs with the program's manifest and DLLs, and the program against it.
    skbench::Report("startup-same-dlls-ms", f, "ms", "");
    skbench::Report("startup-same-dlls-ratio", f / b, "", "");
    skbench::Report("startup-vs-same-dlls-ratio", p / f, "", "");
    skbench::Report("startup-ratio", p / b, "", "<= 1.5");
    // Memory at idle after the start; Wine's own libraries weigh on all three.
    const double pm = program.MedianPeakMb(), bm = baseline.MedianPeakMb(), fm = floor.MedianPeakMb();
    skbench::Report("startup-peak-mb", pm, "MB", "");
    skbench::Report("startup-baseline-peak-mb", bm, "MB", "");
    skbench::Report("startup-same-dlls-peak-mb", fm, "MB", "");
    skbench::Report("startup-peak-ratio", pm / bm, "", "<= 2");
    return 0;
}
