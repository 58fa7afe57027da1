#pragma once

#include <string>

namespace velquist {

struct AutoLoginResult {
    bool logged_in = false;
    std::wstring shown_name; // the stored account, for the main window's "username"
};

// The start-up login from the credential file, on the calling thread. Fills UserInfo when
// the service accepts; never writes or deletes the file and shows nothing itself. The
// secret store is read only for a file saved under the user's own key (that read may
// prompt, so the caller runs this off the GUI thread). The caller brings the main window
// into the logged-in look on the GUI thread.
AutoLoginResult AutoLogin();

// Ends the login: the credential file is deleted and the phone number forgotten. The
// caller then shows the logged-out look.
void LogoutAccount();

} // namespace velquist
