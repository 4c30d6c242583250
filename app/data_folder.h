// The folder where a run keeps its files: the error file, the settings file saved before the
// flash is erased, and the journal of an unfinished update. Losing it mid-run loses an
// instrument's settings, so it is made before the first command and never in a shared place.
#pragma once

#include <string>

// Makes `folder` and any missing parents, each new one readable by its owner only (0700), as the
// settings file holds the instrument's passwords and keys. An existing folder is used as it is.
// True when `folder` is a folder afterwards; otherwise `why` says which folder could not be made
// and the system's reason ("cannot make the folder /x/y: Permission denied").
bool MakeDataFolder(const std::string& folder, std::string* why);

// Where the updater keeps its files when no folder is named.
struct DataFolderChoice {
  std::string path;
  // Empty when the user's data folder ($XDG_DATA_HOME/Norvane/VexaBSL, by default
  // ~/.local/share/Norvane/VexaBSL) is used; otherwise why it could not be, and that `path` is
  // the fallback: a folder of the user's own under $XDG_RUNTIME_DIR or the temporary folder.
  std::string problem;
};
DataFolderChoice ChooseDataFolder();

// What the user must be told about `choice` before a run, as a box's text ("" when the user's data
// folder is used): the fallback folder may be emptied at log-out or restart, and with no folder
// at all a run cannot keep the settings it saves.
std::string DataFolderNotice(const std::string& caption, const DataFolderChoice& choice);
