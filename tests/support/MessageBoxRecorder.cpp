#include "MessageBoxRecorder.h"

#include "base/MessageBox.h"

namespace sktest {

namespace {

int gAnswer = IDOK;

int RecordBox(HWND, const std::wstring& text, const std::wstring& caption, UINT style) {
    TMessageBoxRecorder::Texts().push_back(text);
    TMessageBoxRecorder::Boxes().push_back({text, caption, style});
    return gAnswer;
}

}  // namespace

TMessageBoxRecorder::TMessageBoxRecorder(int answer) {
    gAnswer = answer;
    Clear();
    sk::SetMessageBoxHook(RecordBox);
}

TMessageBoxRecorder::~TMessageBoxRecorder() { sk::SetMessageBoxHook(nullptr); }

std::vector<std::wstring>& TMessageBoxRecorder::Texts() {
    static std::vector<std::wstring> texts;
    return texts;
}

std::vector<TShownBox>& TMessageBoxRecorder::Boxes() {
    static std::vector<TShownBox> boxes;
    return boxes;
}

void TMessageBoxRecorder::Clear() {
    Texts().clear();
    Boxes().clear();
}

}  // namespace sktest
