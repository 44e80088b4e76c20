// The About, usage and controls boxes, shown by -help and by the Help menu.
#pragma once

#include <string>

// The finished texts, exactly as the boxes show them.
std::string AboutText();
std::string UsageText();
std::string ControlsText();

void ShowAbout();     // owned by MainWindow when there is one; no re-entry guard
void ShowUsage();     // no owner; does nothing while the usage box is already up
void ShowControls();  // no owner; does nothing while the controls box is already up
