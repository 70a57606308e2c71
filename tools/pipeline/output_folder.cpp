#include "output_folder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

const char* const kManifestName = "rigflow-manifest.txt";

namespace {
constexpr std::size_t kMaxNamedForeign = 5;

// True when inner is outer or lies below it (both resolved).
bool within(const fs::path& inner, const fs::path& outer) {
    const fs::path rel = inner.lexically_relative(outer);
    return !rel.empty() && *rel.begin() != "..";
}

// Symbolic links and ".." resolved, without a trailing separator ("a/nosuch/.." is "a").
fs::path resolved(const fs::path& workDir, const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(workDir / path, ec);
    p = (ec ? workDir / path : p).lexically_normal();
    return p.has_filename() || p == p.root_path() ? p : p.parent_path();
}

// A manifest line names a path below the folder: relative, no "." or ".." steps.
bool safeEntry(const std::string& line) {
    const fs::path p(line);
    if (line.empty() || p.is_absolute() || line[0] == '#') return false;
    for (const fs::path& part : p)
        if (part == ".." || part == "." || part.empty()) return false;
    return true;
}

// Every step from folder down to the entry's parent is a real folder, not a link.
bool reachableWithoutLinks(const fs::path& folder, const fs::path& entry) {
    fs::path at = folder;
    std::error_code ec;
    for (auto it = entry.begin(); it != entry.end(); ++it) {
        if (std::next(it) == entry.end()) return true;
        at /= *it;
        if (!fs::is_directory(fs::symlink_status(at, ec))) return false;
    }
    return true;
}

std::set<std::string> readManifest(const fs::path& folder) {
    std::set<std::string> entries;
    std::error_code ec;
    const fs::path file = folder / kManifestName;
    if (!fs::is_regular_file(fs::symlink_status(file, ec))) return entries;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (safeEntry(line)) entries.insert(fs::path(line).lexically_normal().generic_string());
    return entries;
}

// Every entry below folder, relative, links not followed.
std::vector<std::pair<std::string, bool>> entriesBelow(const fs::path& folder) {
    std::vector<std::pair<std::string, bool>> entries;  // path, is a folder
    std::error_code ec;
    for (fs::recursive_directory_iterator
             it(folder, fs::directory_options::skip_permission_denied, ec),
         end;
         !ec && it != end; it.increment(ec)) {
        const std::string rel = it->path().lexically_relative(folder).generic_string();
        if (rel == kManifestName) continue;
        entries.emplace_back(rel, it->is_directory(ec) && !it->is_symlink(ec));
    }
    return entries;
}
}  // namespace

std::string outputFolderProblem(const std::string& workDir, const std::string& output,
                                const std::vector<std::pair<std::string, std::string>>& inputs) {
    std::error_code ec;
    const fs::path work = resolved(fs::absolute(workDir, ec), ".");
    const fs::path out = resolved(work, output);
    const std::string is =
        "output = " + output + (out.string() == output ? "" : " (" + out.string() + ")");
    if (!within(out, work) || out == work)
        return is + " is not a folder inside " + work.string() +
               ": name a folder of its own inside WORKDIR, e.g. output = calibration";
    if (fs::exists(out, ec) && !fs::is_directory(out, ec))
        return is + " is a file, not a folder: name another output folder";
    for (const auto& [key, path] : inputs)
        if (!path.empty() && within(resolved(work, path), out))
            return is + " holds " + key + " (" + path +
                   "): rigflow would write its results over the inputs; name another output "
                   "folder or move the inputs out of it";
    return "";
}

std::string clearEarlierResults(const std::string& folder,
                                const std::vector<std::string>& resultNames,
                                std::set<std::string>* foreign) {
    const fs::path root(folder);
    std::error_code ec;
    const std::set<std::string> listed = readManifest(root);
    // Reverse order visits "a/b" before "a": a listed folder is empty when its turn comes.
    for (auto it = listed.rbegin(); it != listed.rend(); ++it) {
        const fs::path entry(*it);
        if (!reachableWithoutLinks(root, entry)) continue;
        const fs::path path = root / entry;
        const fs::file_status st = fs::symlink_status(path, ec);
        if (!fs::exists(st)) continue;
        if (fs::is_directory(st) && !fs::is_empty(path, ec)) continue;  // holds foreign files
        fs::remove(path, ec);  // a link itself, never its target
    }
    foreign->clear();
    for (const auto& [rel, isFolder] : entriesBelow(root))
        if (!(isFolder && listed.count(rel))) foreign->insert(rel);
    for (const std::string& name : resultNames)
        if (foreign->count(name))
            return "output: " + (fs::path(folder) / name).string() +
                   " was not written by rigflow (" + kManifestName +
                   " does not list it): move it out of the output folder or name another "
                   "output folder";
    return "";
}

bool writeManifest(const std::string& folder, const std::set<std::string>& foreign) {
    std::vector<std::string> mine;
    for (const auto& [rel, isFolder] : entriesBelow(folder))
        if (!foreign.count(rel)) mine.push_back(rel);
    std::sort(mine.begin(), mine.end());
    const std::string path = (fs::path(folder) / kManifestName).string();
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary);
        out << "# written by rigflow: the entries it made in this folder; the next run removes "
               "these and nothing else\n";
        for (const std::string& m : mine) out << m << "\n";
        out.close();
        if (out.fail()) {
            std::remove(part.c_str());
            return false;
        }
    }
    return std::rename(part.c_str(), path.c_str()) == 0;
}

std::string foreignNote(const std::string& output, const std::set<std::string>& foreign) {
    std::vector<std::string> top;
    for (const std::string& f : foreign)
        if (f.find('/') == std::string::npos) top.push_back(f);
    if (foreign.empty()) return "";
    std::string note = output + " holds " + std::to_string(foreign.size()) +
                       (foreign.size() == 1 ? " entry" : " entries") +
                       " rigflow did not write, left alone: ";
    for (std::size_t i = 0; i < top.size() && i < kMaxNamedForeign; ++i)
        note += (i ? ", " : "") + top[i];
    if (top.size() > kMaxNamedForeign || top.empty()) note += top.empty() ? "…" : ", …";
    return note;
}
