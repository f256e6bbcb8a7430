// The AP search: runs the discovery program, reads the AP table it leaves
// in the shared settings key and lets the user choose an AP in `dialog`.
#pragma once

#include <string>

class QWidget;
class TFormAPList;

namespace tidewell {

// `owner` is the main window (owner of the message boxes), `appDir` the
// start-up directory. Gives true when the dialog ended with OK: IpAddress
// is then written and `curApVersion` holds the chosen AP's version key.
// The caller then starts the update procedure.
bool SearchAccessPoints(QWidget* owner, TFormAPList& dialog, const std::string& appDir,
                        std::string& curApVersion);

}  // namespace tidewell
