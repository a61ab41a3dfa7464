// delvorin-cli build --project: a build whose folders, options and lists come from a
// project file saved the way the graphical program saves it, with the command line
// overriding the project's values.
#include "app/ProjectFile.h"
#include "support/CliRun.h"
#include "support/TestFolder.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A run of delvorin-cli, its standard output and standard error together in out.
CRun Cli(const std::string& arguments)
{
    static CTestFolder scratch;
    CRun run = RunCliIn(arguments, scratch.Path());
    run.out += run.err;
    return run;
}

// An old and a new release: one changed, one new, one excluded, one to remove.
struct CReleases {
    CTestFolder dir;
    std::string oldFolder, newFolder;
    CReleases()
    {
        dir.WriteAll({{"old/app.txt", "version one of the application text\n"},
                      {"old/obsolete.dat", "no longer needed"},
                      {"new/app.txt", "version two of the application text, somewhat longer\n"},
                      {"new/sub/added.txt", "a file that is new in this release"},
                      {"new/secret.key", "must not be shipped"}, {"new/obsolete.dat", "no longer needed"}});
        oldFolder = dir / "old";
        newFolder = dir / "new";
    }
    CProjectData Project() const
    {
        CProjectData p;
        p.oldFolder = oldFolder;
        p.newFolder = newFolder;
        p.patchFile = dir / "out/update.dvp";
        p.selfExtract = false;
        p.defaultEqualsNew = false;
        p.defaultFolder = "/opt/sample";
        p.dialogText = "Sample update";
        p.removeList = {oldFolder + "/obsolete.dat"};
        p.excludeList = {newFolder + "/secret.key", newFolder + "/obsolete.dat"};
        return p;
    }
};

} // namespace

TEST(CliProject, BuildsFromTheProjectAlone)
{
    CReleases r;
    r.dir.MakeFolder("out");
    std::string project = r.dir / "release.dvj";
    ASSERT_TRUE(WriteProjectFile(project, r.Project()));

    CRun build = Cli("build --project " + Quoted(project));
    ASSERT_EQ(build.status, 0) << build.out;
    std::string patch = r.dir / "out/update.dvp";
    EXPECT_TRUE(Contains(build.out, "The Patch File: " + patch + " was successfully created."));

    CRun info = Cli("info " + Quoted(patch));
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_TRUE(Contains(info.out, "Default folder:    /opt/sample\n"));
    EXPECT_TRUE(Contains(info.out, "Dialog text:       Sample update\n"));
    EXPECT_TRUE(Contains(info.out, "Files to remove:   1\n"));
    EXPECT_TRUE(Contains(info.out, "File records:      2\n")); // both excluded files left out
    EXPECT_TRUE(Contains(info.out, "app.txt"));
    EXPECT_FALSE(Contains(info.out, "secret.key"));
}

TEST(CliProject, CommandLineOverridesTheProject)
{
    CReleases r;
    r.dir.MakeFolder("elsewhere");
    CProjectData p = r.Project();
    p.oldFolder = "/no/such/old";
    p.newFolder = "/no/such/new";
    p.patchFile = "/no/such/out/update.dvp";
    p.defaultEqualsNew = true; // the default folder follows the old folder given below
    p.selfExtract = true;      // and the command line turns it off again
    std::string project = r.dir / "release.dvj";
    ASSERT_TRUE(WriteProjectFile(project, p));

    std::string patch = r.dir / "elsewhere/patch.dvp";
    CRun build = Cli("build --project " + Quoted(project) + " " + Quoted(r.oldFolder) + " " + Quoted(r.newFolder) + " " +
                     Quoted(patch) + " --no-self-extract --dialog-text 'From the command line' --exclude app.txt");
    ASSERT_EQ(build.status, 0) << build.out;

    CRun info = Cli("info " + Quoted(patch));
    ASSERT_EQ(info.status, 0) << info.out;
    EXPECT_TRUE(Contains(info.out, "Default folder:    " + r.oldFolder + "\n"));
    EXPECT_TRUE(Contains(info.out, "Dialog text:       From the command line\n"));
    // The command line's exclusion is added to the project's two.
    EXPECT_TRUE(Contains(info.out, "File records:      1\n"));
    EXPECT_FALSE(Contains(info.out, "app.txt"));
}

TEST(CliProject, ProjectsThatCannotBeBuiltAreRefused)
{
    CReleases r;
    std::string project = r.dir / "empty.dvj";
    ASSERT_TRUE(WriteProjectFile(project, CProjectData{}));

    // No folders in the project and none on the command line.
    CRun build = Cli("build --project " + Quoted(project));
    EXPECT_EQ(build.status, 2) << build.out;
    EXPECT_TRUE(Contains(build.out, "You must specify two folders to build a patch file."));

    // A project file that cannot be read.
    build = Cli("build --project " + Quoted(r.dir / "absent.dvj"));
    EXPECT_EQ(build.status, 1) << build.out;
    EXPECT_TRUE(Contains(build.out, r.dir / "absent.dvj"));

    // A project without a "SelfExtract" key asks for a self-extracting program, which a
    // ".dvp" patch file name cannot be.
    std::string noFlag = r.dir.Write("noflag.dvj", "[Delvorin]\nOldFolder=" + r.oldFolder + "\nNewFolder=" +
                                                       r.newFolder + "\nPatchFile=" + (r.dir / "x.dvp") + "\n");
    build = Cli("build --project " + Quoted(noFlag));
    EXPECT_EQ(build.status, 2) << build.out;
    EXPECT_TRUE(Contains(build.out, "the file name extension must be \".exe\""));

    // Only some of the three positional arguments.
    build = Cli("build --project " + Quoted(project) + " " + Quoted(r.oldFolder));
    EXPECT_EQ(build.status, 2) << build.out;
}

TEST(CliProject, MissingListEntriesAreLeftOutOfTheBuild)
{
    // The count promises two entries but the file holds one: the missing one reads as an
    // empty name, which no file has; the build leaves it out and says so.
    CReleases r;
    std::string project =
        r.dir.Write("short.dvj", "[Delvorin]\nSelfExtract=false\nOldFolder=" + r.oldFolder + "\nNewFolder=" +
                                     r.newFolder + "\nPatchFile=" + (r.dir / "short.dvp") +
                                     "\nNumberOfNamesToDelete=2\nNumberOfNamesToExclude=1\n[DelvorinFilesToDelete]\n"
                                     "FileNameToDelete1=" + r.oldFolder + "/obsolete.dat\n[DelvorinFilesToExclude]\n"
                                     "FileNameToExclude0=" + r.newFolder + "/obsolete.dat\n");
    CRun build = Cli("build --project " + Quoted(project));
    ASSERT_EQ(build.status, 0) << build.out;
    EXPECT_TRUE(Contains(build.out, "NumberOfNamesToDelete says"));
    CRun info = Cli("info " + Quoted(r.dir / "short.dvp"));
    EXPECT_TRUE(Contains(info.out, "Files to remove:   1\n  remove obsolete.dat\n"));
}
