#pragma once

// The "ret" values the service answers with, shared by the service and the desktop
// client (header only, so both build trees include it by path). The account dialogs map the
// 400xxx and 600xxx values to their own messages, so those must not move.
namespace velquist::service {

inline constexpr int kRetOk = 0;

inline constexpr int kRetMalformedBody = 100001;
inline constexpr int kRetBodyTooLarge = 100002;
inline constexpr int kRetInvalidPhone = 100003;
inline constexpr int kRetInvalidPassword = 100004;
inline constexpr int kRetNotFound = 100404;
inline constexpr int kRetMethodNotAllowed = 100405;
inline constexpr int kRetInternal = 100500;

inline constexpr int kRetUnknownApp = 300001;
inline constexpr int kRetNoManifest = 300002;

inline constexpr int kRetUserExists = 400001;
inline constexpr int kRetUnknownUser = 400002;
inline constexpr int kRetWrongPassword = 400003;
inline constexpr int kRetAccountLocked = 400004;

inline constexpr int kRetInvalidFeedback = 500001;

inline constexpr int kRetCodeWrong = 600001;
inline constexpr int kRetCodeExpired = 600002;
inline constexpr int kRetCodeUnusable = 600003;
inline constexpr int kRetCodeTooSoon = 600004;

} // namespace velquist::service
