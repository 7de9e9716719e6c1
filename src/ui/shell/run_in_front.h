#pragma once

class QMessageBox;

namespace corvane {

// Runs `box` modally in front of everything else: the panel leaves the top
// while the box runs and returns there afterwards. Returns exec()'s result;
// the box's clickedButton() tells which button ended it.
int runInFront(QMessageBox& box);

} // namespace corvane
