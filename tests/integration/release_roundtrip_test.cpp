// A real release pair: two published versions of an npm package, built into a patch
// with delvorin-cli, inspected with info and applied to a copy of the older release,
// which must then equal the newer one file for file.
#include "platform/FileSystem.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const char* const kOldPackage = "prettier@3.2.4";
const char* const kNewPackage = "prettier@3.2.5";
const char* const kOldTarball = "prettier-3.2.4.tgz";
const char* const kNewTarball = "prettier-3.2.5.tgz";

bool Shell(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

// The packed tarballs, fetched once and kept in the build folder for later runs.
std::string CachedTarballs(std::string& whyNot)
{
    const char* bin = std::getenv("DELVORIN_BIN");
    if (!bin) {
        whyNot = "DELVORIN_BIN is not set";
        return "";
    }
    std::string cache = fsys::FolderOf(fsys::WithoutTrailingSlash(bin)) + "/npm-cache";
    if (fsys::FileExists(cache + "/" + kOldTarball) && fsys::FileExists(cache + "/" + kNewTarball))
        return cache;
    if (!Shell("command -v npm >/dev/null 2>&1")) {
        whyNot = "npm is not installed";
        return "";
    }
    if (!fsys::FolderExists(cache) && !fsys::CreateFolder(cache)) {
        whyNot = "cannot create " + cache;
        return "";
    }
    std::string command = "cd " + Quoted(cache) + " && timeout 120 npm pack --silent --cache " +
                          Quoted(cache + "/npm") + " " + kOldPackage + " " + kNewPackage + " >/dev/null 2>&1";
    if (!Shell(command) || !fsys::FileExists(cache + "/" + kOldTarball) || !fsys::FileExists(cache + "/" + kNewTarball)) {
        whyNot = "the npm registry could not be reached (npm pack failed or took longer than 120 s)";
        return "";
    }
    return cache;
}

TEST(ReleaseRoundTrip, PrettierPatchTurnsTheOldReleaseIntoTheNewOneInBothFormats)
{
    std::string whyNot;
    std::string cache = CachedTarballs(whyNot);
    if (cache.empty())
        GTEST_SKIP() << "no release tarballs: " << whyNot;

    CTestFolder dir;
    dir.MakeFolder("old");
    dir.MakeFolder("new");
    ASSERT_TRUE(Shell("tar xzf " + Quoted(cache + "/" + kOldTarball) + " -C " + Quoted(dir / "old")));
    ASSERT_TRUE(Shell("tar xzf " + Quoted(cache + "/" + kNewTarball) + " -C " + Quoted(dir / "new")));
    std::string oldRelease = dir / "old/package", newRelease = dir / "new/package";
    Tree oldFiles = SnapshotTree(oldRelease), newFiles = SnapshotTree(newRelease);
    ASSERT_GT(newFiles.size(), 10u);

    // Files the new release no longer has are removed by the patch.
    std::string removes;
    for (const auto& [name, content] : oldFiles)
        if (!newFiles.count(name))
            removes += " --remove " + Quoted(name);

    // Both patch formats, each built, inspected and applied to a fresh copy.
    for (const std::string format : {"classic", "compact"}) {
        SCOPED_TRACE(format);
        const std::string patch = format + ".dvp";
        ASSERT_TRUE(CliSucceeds("build " + Quoted(oldRelease) + " " + Quoted(newRelease) + " " + patch + " --format " +
                                    format + removes,
                                dir.Path()));
        uint64_t patchSize = 0;
        ASSERT_TRUE(fsys::FileLength(dir / patch, patchSize));
        uint64_t tarballSize = 0;
        ASSERT_TRUE(fsys::FileLength(cache + "/" + kNewTarball, tarballSize));
        EXPECT_LT(patchSize, tarballSize) << "the patch should be smaller than the whole new release";

        const CRun info = RunCliIn("info " + patch, dir.Path());
        ASSERT_EQ(info.status, 0) << info.err;
        EXPECT_TRUE(Contains(info.out, "package.json  new=0"));
        EXPECT_TRUE(Contains(info.out, "Format:            " + format));

        const std::string target = "target-" + format;
        ASSERT_TRUE(CopyTree(oldRelease, dir / target));
        ASSERT_TRUE(CliSucceeds("verify " + patch + " " + target, dir.Path()));
        ASSERT_TRUE(CliSucceeds("apply " + patch + " " + target, dir.Path()));
        Tree applied = SnapshotTree(dir / target);
        EXPECT_EQ(applied.size(), newFiles.size());
        for (const auto& [name, content] : newFiles) {
            auto it = applied.find(name);
            ASSERT_NE(it, applied.end()) << name;
            EXPECT_TRUE(it->second == content) << name << " differs after the apply";
        }
        // A second run finds every file done already.
        ASSERT_TRUE(CliSucceeds("apply " + patch + " " + target, dir.Path()));
    }
}

} // namespace
