// The tests' scene cache (generateScene with TOOLKIT_SCENE_CACHE): a scene is made once per
// generator and arguments and copied afterwards, and other arguments get a scene of their own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {
int entries(const std::string& cache) {
    return static_cast<int>(std::distance(fs::directory_iterator(cache), fs::directory_iterator()));
}

class ScopedCache {
  public:
    explicit ScopedCache(const std::string& dir) {
        const char* before = std::getenv("TOOLKIT_SCENE_CACHE");
        had_ = before != nullptr;
        if (had_) before_ = before;
        setenv("TOOLKIT_SCENE_CACHE", dir.c_str(), 1);
    }
    ~ScopedCache() {
        if (had_)
            setenv("TOOLKIT_SCENE_CACHE", before_.c_str(), 1);
        else
            unsetenv("TOOLKIT_SCENE_CACHE");
    }

  private:
    bool had_ = false;
    std::string before_;
};
}  // namespace

TEST(SceneCache, SameArgumentsAreCopiedOtherArgumentsGenerated) {
    TempDir cache, work;
    const ScopedCache use(cache.path());
    const std::vector<std::string> args = {"--views", "1", "--camera", "320x240", "--seed", "7"};
    ASSERT_EQ(generateScene("first", args, work.path()).status, 0);
    ASSERT_EQ(entries(cache.path()), 1);
    // A file put into the cached scene shows that the second scene is a copy of it.
    fs::path cached;
    for (const auto& e : fs::directory_iterator(cache.path())) cached = e.path() / "scene";
    writeFile((cached / "marker.txt").string(), "from the cache\n");

    const ProgramResult again = generateScene(work.file("second"), args, "/");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(readFile(work.file("second/marker.txt")), "from the cache\n");
    for (const char* file : {"truth.yaml", "images/cam000.png", "projection.png", "camparam.dat"})
        EXPECT_EQ(readFile(work.file(std::string("second/") + file)),
                  readFile(work.file(std::string("first/") + file)))
            << file;

    std::vector<std::string> other = args;
    other.back() = "8";
    ASSERT_EQ(generateScene("third", other, work.path()).status, 0);
    EXPECT_FALSE(fileExists(work.file("third/marker.txt")));
    EXPECT_NE(readFile(work.file("third/truth.yaml")), readFile(work.file("first/truth.yaml")));
    EXPECT_EQ(entries(cache.path()), 2);

    // A failed generation is reported and not cached.
    EXPECT_NE(generateScene("bad", {"--views", "nonsense"}, work.path()).status, 0);
    EXPECT_EQ(entries(cache.path()), 2);
}
