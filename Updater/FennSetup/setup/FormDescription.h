// The form description of frmPanel: a fixed dialog with one status line and two buttons.
#pragma once

#include "platform/Platform.h"

namespace fenn {

// Font face "굴림체", Hangul charset 129, 9 pt regular.
inline FormDescription PanelFormDescription() {
  FormDescription form;
  form.caption = L"톨바리네 업데이터 설치";
  form.clientWidth = 4800;
  form.clientHeight = 1080;
  form.fontName = L"굴림체";
  form.fontPoints = 9;
  form.fontWeight = 400;
  form.fontCharset = 129;
  form.iconGroupId = 1;
  form.cmdRun = {L"실행(&R)", 3210, 600, 1335, 360, 2, false};
  form.cmdCancel = {L"취소(&C)", 1725, 600, 1335, 360, 1, true};
  form.lbDesc = {L"Label1", 120, 225, 540, 180, 0, true};
  return form;
}

}  // namespace fenn
