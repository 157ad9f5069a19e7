// The step-text table and the status line.
#include "setup/frmPanel.h"

namespace fenn {

namespace {
constexpr const wchar_t* kStepTexts[] = {
    L"BEGIN",
    L"설치 준비 중 입니다.",
    L"구성 요소를 검색하는 중입니다.",
    L"톨바리네를 찾고 있습니다.",
    L"압축을 해제하고 있습니다.",
    L"파일을 복사하고 있습니다.",
    L"설치를 완료하였습니다.",
};
}  // namespace

std::wstring frmPanel::GetStepText(int32_t index) {
  // A non-empty slot 0 marks the table as filled; it is filled once per form.
  if (sStepText[0].empty()) {
    for (size_t slot = 0; slot < std::size(kStepTexts); ++slot) sStepText[slot] = kStepTexts[slot];
  }
  if (index < 0 || static_cast<size_t>(index) >= sStepText.size()) return std::wstring();
  return sStepText[static_cast<size_t>(index)];
}

void frmPanel::ShowStep(int32_t index) {
  platform_.setLabelText(GetStepText(index));
}

}  // namespace fenn
