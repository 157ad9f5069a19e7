// Every text the setup shows in a message box, and the captions it changes at run time.
#pragma once

namespace fenn::texts {

inline constexpr wchar_t kTitleError[] = L"에러";
inline constexpr wchar_t kTitleNotice[] = L"알림";

inline constexpr wchar_t kProductNotFound[] =
    L"톨바리네를 찾을 수 없습니다.\r\n톨바리네를 다시 설치해 주십시오.";
inline constexpr wchar_t kCancelNotice[] = L"작업을 취소합니다.";
inline constexpr wchar_t kCannotMakeTempFile[] = L"새 리소스를 만들 수 없습니다.";
inline constexpr wchar_t kDecompressFailed[] = L"압축을 푸는데 에러가 발생했습니다.";
inline constexpr wchar_t kCannotPlaceFile[] =
    L"리소스를 추가할 수 없습니다. 파일 쓰는데 오류가 발생했습니다.";
inline constexpr wchar_t kCannotStartUpdater[] = L"업데이터를 실행할 수 없습니다.";
// Run found no desktop user whose rights the updater could be started with.
inline constexpr wchar_t kNoDesktopUser[] =
    L"바탕 화면 사용자를 찾을 수 없어 업데이터를 실행하지 않습니다.";
inline constexpr wchar_t kCannotPrepareCodec[] = L"압축 해제 모듈을 준비할 수 없습니다.";
// Anything the sequence did not expect (an exception, running out of memory).
inline constexpr wchar_t kUnexpectedError[] = L"설치 중 오류가 발생했습니다.";

inline constexpr wchar_t kFinishCaption[] = L"완료(&F)";
// First character of cmdCancel's caption while the setup has not completed.
inline constexpr wchar_t kNotCompletedMarker = L'취';

inline constexpr wchar_t kUpdaterName[] = L"K3Fenn.exe";

}  // namespace fenn::texts
