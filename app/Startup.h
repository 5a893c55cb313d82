#pragma once

class QApplication;

namespace velkar {

// Names, fonts and icon shared by every window; call once after the application is made.
void PrepareApplication(QApplication& app);

} // namespace velkar
