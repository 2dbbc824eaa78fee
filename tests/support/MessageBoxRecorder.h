// The program's message box replaced for tests: every box is recorded instead of shown.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sktest {

struct TShownBox {
    std::wstring Text, Caption;
    UINT Style = 0;
};

// While it lives, every box the program shows is recorded and answered with `answer` (one recorder
// at a time). The record is shared, so helpers of a test file can read it without the recorder.
class TMessageBoxRecorder {
public:
    explicit TMessageBoxRecorder(int answer = IDOK);
    ~TMessageBoxRecorder();
    TMessageBoxRecorder(const TMessageBoxRecorder&) = delete;
    TMessageBoxRecorder& operator=(const TMessageBoxRecorder&) = delete;

    // The boxes shown since the recorder was made, in order: their texts alone, and everything.
    static std::vector<std::wstring>& Texts();
    static std::vector<TShownBox>& Boxes();
    static void Clear();
};

}  // namespace sktest
