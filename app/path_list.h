#pragma once

#include <string>
#include <vector>

class QListWidget;

namespace mirelay {

// A list pane of full paths. Each entry keeps its path's bytes as they came from the folder and
// shows them decoded for the screen, so a name that is not UTF-8 still reaches the file.
void FillPathList(QListWidget* list, const std::vector<std::string>& paths);

// The full path held by the entry of a list pane.
std::string PathListEntry(const QListWidget* list, int row);

}  // namespace mirelay
