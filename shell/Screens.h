#pragma once

#include <QString>

namespace orvik::shell {

// Walks through the shell's windows on the running program (the bar must be showing) and
// saves what they look like as PNG files in `folder`: each window on its own and the whole
// screen. Logs in as `login`/`password`. Prompts are answered OK and echoed to stderr, so
// nothing waits for a person. Gives false when a step could not be done.
bool runScreenTour(const QString& folder, const QString& login, const QString& password);

}  // namespace orvik::shell
