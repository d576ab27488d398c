// Where the program keeps its data files (settings.idx, filelist.idx,
// excluded.txt, the log): beside the executable when its folder can be
// written, as a portable copy and a per-user install have it; otherwise in
// the user's own application-data folder ("%APPDATA%\Quadrivue" on Windows),
// made on first use, with the files found beside the executable copied there
// once.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qv {

// The data folder of the running program, decided once per run.
const std::string& GetDataFolder();

// The decision: programFolder when canWrite says so, else userFolder +
// separator + "Quadrivue" once it exists or could be made (and the data
// files of programFolder copied into it where it lacks them); programFolder
// when there is no user folder or it cannot be made either.
std::string ChooseDataFolder(const std::string& programFolder, const std::string& userFolder,
                             const std::function<bool(const std::string&)>& canWrite);

// Whether a file can be made in folder (one is made and removed again).
bool FolderWritable(const std::string& folder);

// The names of the data files a folder may hold, monitors' own included.
std::vector<std::string> DataFileNames();

}  // namespace qv
