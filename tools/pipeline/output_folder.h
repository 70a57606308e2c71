// rigflow's results folder: checked before anything is written, cleared of exactly what the
// previous run listed in its manifest, and listed again by this run. Nothing rigflow did not
// write is removed or written over.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

// The file in the results folder that lists, one relative path a line, what rigflow wrote.
extern const char* const kManifestName;

// "" when output (relative to workDir, or absolute) resolves, symbolic links and ".."
// followed, to a folder strictly inside workDir that is not a file and holds none of the
// inputs (key and path relative to workDir); else the message naming the key and why.
std::string outputFolderProblem(const std::string& workDir, const std::string& output,
                                const std::vector<std::pair<std::string, std::string>>& inputs);

// Removes the entries the manifest in folder lists (deepest first, never through a symbolic
// link, folders only when empty) and fills foreign with the entries left that rigflow did not
// write. Returns "" or, when an entry named like one of resultNames is not rigflow's, the
// message (an earlier run's result without a manifest, or a file of the user's).
std::string clearEarlierResults(const std::string& folder,
                                const std::vector<std::string>& resultNames,
                                std::set<std::string>* foreign);

// Lists every entry in folder but the foreign ones in its manifest; false when it could not.
bool writeManifest(const std::string& folder, const std::set<std::string>& foreign);

// The note naming the foreign entries (at most a few), or "" when there is none.
std::string foreignNote(const std::string& output, const std::set<std::string>& foreign);
