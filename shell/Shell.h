#pragma once

namespace orvik::shell {

// Hands start-up the shell's forms: the path dialog and the main bar.
void installStartupForms();

// The path dialog frmPath, modal; a fresh load each time.
void showPathDialog();
// The main bar frmAccMain, modeless.
void showMainBar();

}  // namespace orvik::shell
