#pragma once

class QApplication;

// Names, fonts and icon shared by every window; call once after the application is made.
void PrepareApplication(QApplication& app);
