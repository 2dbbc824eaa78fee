#include "base/StringTable.h"

using namespace sk;

#define SURFKEEP_DEFINE_STRING(key, text) std::wstring key = text;
SURFKEEP_STRING_TABLE(SURFKEEP_DEFINE_STRING)
#undef SURFKEEP_DEFINE_STRING

namespace sk {

namespace {
#define SURFKEEP_STRING_ENTRY(key, text) {L## #key, &key, text},
const TStringEntry kEntries[] = {SURFKEEP_STRING_TABLE(SURFKEEP_STRING_ENTRY)};
#undef SURFKEEP_STRING_ENTRY
}  // namespace

std::span<const TStringEntry> StringTableEntries() { return kEntries; }

void ResetStringTable() {
    for (const auto& e : kEntries) *e.Text = e.BuiltIn;
}

}  // namespace sk
