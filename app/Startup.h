#pragma once

class QApplication;

namespace velkar {

// Names, fonts and icon shared by every window; call once after the application is made.
void PrepareApplication(QApplication& app);

// Qt's own texts (its choosers, buttons and calendars) in Chinese, as the desk's own are.
void SpeakChinese(QApplication& app);

// Without XDG_RUNTIME_DIR Qt complains on standard error and then uses a folder of the user's in
// the temporary folder anyway; that folder is named here instead, before Qt looks.
void PrepareRuntimeFolder();

} // namespace velkar
