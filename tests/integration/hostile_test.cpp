// Damaged and crafted patch files: names that lead out of the target folder, lengths
// and counts that do not fit, broken compression and part prefixes, links in the
// target that lead elsewhere. Every one is refused, and nothing changes inside the
// target folder or beside it.
#include "support/ApplyRun.h"
#include "support/CompactImage.h"
#include "support/PatchImage.h"
#include "support/TestFolder.h"

#include "app/AppCore.h"
#include "app/StringHelpers.h"
#include "container/CPatchDoc.h"
#include "engine/common/CDirDiff.h"
#include "engine/apply/SafeNames.h"
#include "platform/FileSystem.h"
#include "platform/FolderHandle.h"
#include "platform/Progress.h"
#include "platform/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using image::Patch;
using image::Record;

enum class Expect {
    HeaderRefused,  // the patch file cannot be opened at all
    ApplyRefused,   // the verification pass lists an error, nothing is applied
    RemovalSkipped, // the remove entry is passed over with the removal warning, the rest applied
};

constexpr const char* kNotAllowed = "The following file name in the patch file is not allowed:\n";
constexpr const char* kDamaged = "The patch file is damaged and cannot be applied:\n";
constexpr const char* kLinked = "lies behind a symbolic link to a folder";
constexpr const char* kLinkOut = "is a symbolic link that leads out of the folder to be updated";
constexpr const char* kBlocked = "The following file stands where the patch needs a folder:\n";
constexpr const char* kTooLong = "The following name is longer than the file system holds:\n";
constexpr const char* kLeadMismatch = "which the patch needs as it is, does not match";
constexpr const char* kLeadMissing = "which the patch needs as it is, is missing";
constexpr const char* kRemovalWarning =
    "Unable to remove the following file that was\nspecified to be removed in the patch file:\n\n";

struct CCase {
    std::string what;
    // Makes the bytes of the patch file; outside is the folder beside the target.
    std::function<std::string(const std::string& outside)> patch;
    Expect expect;
    std::string entry; // text the errors table must hold (ApplyRefused)
    bool windowsNames = false; // applied as the program for Windows does
};

void PrintTo(const CCase& c, std::ostream* os)
{
    *os << c.what;
}

Record Good()
{
    return image::Changed("a.txt", "old a", "new a!");
}

Record Evil(const std::string& storedName)
{
    return image::NewFile(storedName, "planted");
}

Record With(Record r, const std::function<void(Record&)>& change)
{
    change(r);
    return r;
}

compact::Record CGood()
{
    return compact::Changed("a.txt", "old a", "new a!");
}

compact::Record CWith(compact::Record r, const std::function<void(compact::Record&)>& change)
{
    change(r);
    return r;
}

std::function<std::string(const std::string&)> compactPatch(const std::vector<compact::Record>& records)
{
    return [records](const std::string&) { return compact::PatchFile(compact::Image(records)); };
}

// A compact patch whose literals are led by the given files left alone.
std::function<std::string(const std::string&)> compactLedBy(const std::vector<compact::LeadFile>& lead,
                                                            const std::vector<std::string>& removes = {})
{
    return [lead, removes](const std::string&) {
        return compact::PatchFile(
            compact::Image({CGood(), compact::NewFile("n.txt", "old b, new")}, removes, -1, 4, lead));
    };
}

std::vector<CCase> Cases()
{
    auto evil = [](const std::string& name) {
        return [name](const std::string&) { return Patch({Good(), Evil(name)}); };
    };
    auto damaged = [](const Record& r) { return [r](const std::string&) { return Patch({Good(), r}); }; };
    // Good() with one change, and the compact patch of CGood() with one.
    auto bad = [&](const std::function<void(Record&)>& change) { return damaged(With(Good(), change)); };
    auto cbad = [](const std::function<void(compact::Record&)>& change) {
        return compactPatch({CWith(CGood(), change)});
    };
    // Bytes that do not depend on the folder beside the target.
    auto fixed = [](const std::string& bytes) { return [bytes](const std::string&) { return bytes; }; };
    return {
        {"parent component", evil("..\\outside\\evil"), Expect::ApplyRefused, kNotAllowed},
        {"a name Windows reserves, on Windows", evil("sub\\aux.txt"), Expect::ApplyRefused,
         "cannot be made on Windows:\nsub/aux.txt (", true},
        {"a folder name with a trailing dot, on Windows", evil("dir.\\x.txt"), Expect::ApplyRefused,
         "dir./x.txt (", true},
        {"names equal but for letter case, on Windows", evil("A.TXT"), Expect::ApplyRefused,
         "ignores letter case:\na.txt and A.TXT", true},
        {"parent components inside", evil("sub\\..\\..\\outside\\evil"), Expect::ApplyRefused, kNotAllowed},
        {"parent of the target", evil("..\\x"), Expect::ApplyRefused, kNotAllowed},
        {"absolute with backslashes",
         [](const std::string& outside) { return Patch({Good(), Evil(ToStoredName(outside) + "\\evil")}); },
         Expect::ApplyRefused, kNotAllowed},
        {"absolute with slashes", [](const std::string& outside) { return Patch({Good(), Evil(outside + "/evil")}); },
         Expect::ApplyRefused, kNotAllowed},
        {"drive prefix", evil("C:\\evil"), Expect::ApplyRefused, kNotAllowed},
        {"drive-relative name", evil("C:evil"), Expect::ApplyRefused, kNotAllowed},
        {"device prefix", evil("\\\\?\\C:\\evil"), Expect::ApplyRefused, kNotAllowed},
        {"empty component", evil("sub\\\\b.txt"), Expect::ApplyRefused, kNotAllowed},
        {"dot component", evil("sub\\.\\b.txt"), Expect::ApplyRefused, kNotAllowed},
        {"name that is a dot", evil("."), Expect::ApplyRefused, kNotAllowed},
        {"trailing separator", evil("sub\\"), Expect::ApplyRefused, kNotAllowed},
        {"empty name", evil(""), Expect::ApplyRefused, kNotAllowed},
        {"a file, then a folder of its name",
         fixed(Patch({Good(), Evil("c"), Evil("c\\d")})), Expect::ApplyRefused,
         "names the following both as a file and as a folder"},
        {"a folder, then a file of its name",
         fixed(Patch({Good(), Evil("c\\d\\e"), Evil("c\\d")})), Expect::ApplyRefused,
         "names the following both as a file and as a folder"},
        {"a folder where a file is", fixed(Patch({Good(), Evil("sub\\b.txt\\d")})), Expect::ApplyRefused, kBlocked},
        {"a folder where a link is", evil("out.txt\\d"), Expect::ApplyRefused, kBlocked},
        {"record through a linked folder", evil("link\\evil"), Expect::ApplyRefused, kLinked},
        {"changed file through a linked folder",
         fixed(Patch({Good(), image::Changed("link\\x", "outside x", "overwritten")})), Expect::ApplyRefused, kLinked},
        {"parent component with control characters", evil("..\\\x1b]0;owned\x07\x1b[2J\n"), Expect::ApplyRefused,
         "../\\x1b]0;owned\\x07\\x1b[2J\\x0a"},
        {"name field of length 0", damaged(With(Evil("e"), [](Record& r) { r.nameField = 0; })),
         Expect::ApplyRefused, kDamaged},
        {"name field of 261 bytes",
         damaged(With(Evil(std::string(260, 'e')), [](Record& r) { r.nameField = 261; })), Expect::ApplyRefused,
         kDamaged},
        {"name without its zero byte", damaged(With(Evil("abcde"), [](Record& r) { r.nameZero = false; })),
         Expect::ApplyRefused, kDamaged},
        {"name past the end of the image",
         [](const std::string&) {
             std::string cut = image::Image({Good()}, {}, 2) + std::string("file\0\0\0\0", 8);
             image::Put16(cut, 200);
             return image::PatchFile(cut + "abc");
         },
         Expect::ApplyRefused, kDamaged},
        {"huge old-copy count", bad([](Record& r) { r.oldCount = 0xFFFFFFFFu; }), Expect::ApplyRefused, kDamaged},
        {"huge new-data count", bad([](Record& r) { r.newCount = 0x7FFFFFFFu; }), Expect::ApplyRefused, kDamaged},
        {"old copy past the old length",
         bad([](Record& r) { r.olds.push_back({3, 0, 5}); }), Expect::ApplyRefused, kDamaged},
        {"old copy past the new length",
         bad([](Record& r) { r.olds.push_back({0, 0xFFFFFFFEu, 4}); }), Expect::ApplyRefused, kDamaged},
        {"new data past the new length",
         bad([](Record& r) { r.news[0].newOffset = 3; }), Expect::ApplyRefused, kDamaged},
        {"new data past the end of the image",
         bad([](Record& r) { r.news[0].length = 1000000; }), Expect::ApplyRefused, kDamaged},
        {"file count above the records present", fixed(Patch({Good()}, {}, 3)), Expect::ApplyRefused, kDamaged},
        {"file count 65535", fixed(Patch({Good()}, {}, 65535)), Expect::ApplyRefused, kDamaged},
        {"wrong check block",
         bad([](Record& r) { r.checkBlock = std::string("fiLe\0\0\0\0", 8); }), Expect::ApplyRefused, kDamaged},
        {"wrong old-copy tag",
         bad([](Record& r) {
             r.olds.push_back({0, 0, 1});
             r.oldTag = "oldpatch";
         }),
         Expect::ApplyRefused, kDamaged},
        {"wrong new-data tag", bad([](Record& r) { r.newTag = std::string("newptcx\0", 8); }),
         Expect::ApplyRefused, kDamaged},
        {"new file that copies from an old file",
         damaged(With(Evil("n.txt"), [](Record& r) { r.olds.push_back({0, 0, 1}); })), Expect::ApplyRefused, kDamaged},
        {"unknown new-file flag", damaged(With(Evil("n.txt"), [](Record& r) { r.newFile = 7; })),
         Expect::ApplyRefused, kDamaged},
        {"strong checks that do not match themselves",
         [](const std::string&) {
             std::string checks = image::Checks({{std::string("old a"), "new a!"}});
             checks[20] ^= 1;
             return image::PatchFile(image::Image({Good()}) + checks);
         },
         Expect::HeaderRefused, ""},
        {"strong checks cut short",
         [](const std::string&) {
             return image::PatchFile(image::Image({Good()}) + image::Checks({{std::string("old a"), "new a!"}}).substr(30));
         },
         Expect::HeaderRefused, ""},
        {"strong checks of other records",
         [](const std::string&) {
             return image::PatchFile(image::Image({Good(), Evil("n.txt")}) + image::Checks({{std::string("old a"), "new a!"}}));
         },
         Expect::HeaderRefused, ""},
        {"bytes between the last record and the strong checks",
         [](const std::string&) {
             return image::PatchFile(image::Image({Good()}) + "xyz" + image::Checks({{std::string("old a"), "new a!"}}));
         },
         Expect::ApplyRefused, kDamaged},
        {"remove entry in the parent folder",
         fixed(Patch({Good()}, {"..\\outside\\x"})), Expect::RemovalSkipped, "outside/x"},
        {"absolute remove entry",
         [](const std::string& outside) { return Patch({Good()}, {ToStoredName(outside) + "\\x"}); },
         Expect::RemovalSkipped, "/x"},
        {"empty remove entry", fixed(Patch({Good()}, {""})), Expect::RemovalSkipped, ""},
        {"remove entry through a linked folder", fixed(Patch({Good()}, {"link\\x"})), Expect::RemovalSkipped, "link/x"},
        {"remove entry that is a linked folder", fixed(Patch({Good()}, {"link"})), Expect::RemovalSkipped, "link"},
        {"objects that do not give the new byte sum",
         damaged(With(image::Changed("sub\\b.txt", "old b", "new b"), [](Record& r) { r.newSum += 1; })),
         Expect::ApplyRefused, "the patch file is damaged"},
        {"a file named twice", fixed(Patch({Good(), Evil("n.txt"), Evil("n.txt")})), Expect::ApplyRefused, kDamaged},
        {"leaf name of 256 bytes", evil(std::string(256, 'e')), Expect::ApplyRefused, kTooLong},
        {"leaf name of 259 bytes", evil(std::string(259, 'e')), Expect::ApplyRefused, kTooLong},
        {"folder name of 257 bytes", evil(std::string(257, 'd') + "\\e"), Expect::ApplyRefused, kTooLong},
        {"objects that leave most of the new length undescribed",
         bad([](Record& r) { r.newLength = 0xFFFFFFFFu; }), Expect::ApplyRefused, kDamaged},
        {"objects that leave a gap", bad([](Record& r) {
             r.news[0].newOffset = 2;
             r.newLength = 8;
         }),
         Expect::ApplyRefused, kDamaged},
        {"changed file that is a link leading out",
         fixed(Patch({Good(), image::Changed("out.txt", "outside x", "overwritten")})), Expect::ApplyRefused, kLinkOut},
        {"uncompressed image with a parent component",
         fixed(std::string(8, '\0') + image::Image({Good(), Evil("..\\outside\\evil")})), Expect::ApplyRefused, kNotAllowed},
        {"truncated gzip stream",
         [](const std::string&) {
             std::string p = Patch({Good(), Evil("n.txt")});
             return p.substr(0, p.size() / 2);
         },
         Expect::HeaderRefused, ""},
        {"gzip stream with a changed byte",
         [](const std::string&) {
             std::string p = Patch({Good(), Evil("n.txt")});
             p[p.size() - 6] ^= 0x40; // inside the CRC-32 of the trailer
             return p;
         },
         Expect::HeaderRefused, ""},
        {"wrong magic",
         [](const std::string&) {
             std::string img = image::Image({Good()});
             img[0] = 'X';
             return image::PatchFile(img);
         },
         Expect::HeaderRefused, ""},
        {"magic in other letter case",
         [](const std::string&) {
             std::string img = image::Image({Good()});
             img[0] = 'd';
             return image::PatchFile(img);
         },
         Expect::HeaderRefused, ""},
        {"more parts than present", fixed(image::PatchFile(image::Image({Good()}), 3, 1000)), Expect::HeaderRefused, ""},
        {"shorter than the part prefix", fixed(std::string("\0\0\0", 3)), Expect::HeaderRefused, ""},
        {"empty file", fixed(std::string()), Expect::HeaderRefused, ""},
        {"remove count without its entries",
         [](const std::string&) {
             std::string img = image::Image({});
             img[724] = static_cast<char>(0xE8);
             img[725] = 0x03;
             return image::PatchFile(img.substr(0, 726));
         },
         Expect::HeaderRefused, ""},
        // The compact format: every length, count and offset of its records.
        {"compact: name with a parent component", compactPatch({CGood(), compact::NewFile("..\\outside\\evil", "x")}),
         Expect::ApplyRefused, kNotAllowed},
        {"compact: stream cut short",
         [](const std::string&) {
             const std::string img = compact::Image({CGood(), compact::NewFile("n.txt", "new file")});
             return compact::PatchFile(img.substr(0, img.size() - 3));
         },
         Expect::HeaderRefused, ""},
        {"compact: description longer than it unpacks to",
         [](const std::string&) {
             std::string img = compact::Image({CGood()});
             img[12] = static_cast<char>(img[12] + 1);
             return compact::PatchFile(img);
         },
         Expect::HeaderRefused, ""},
        {"compact: part of a stream past its end",
         compactPatch({CGood(), CWith(compact::NewFile("n.txt", "x"), [](compact::Record& r) { r.raw[2] = 0; })}),
         Expect::ApplyRefused, kDamaged},
        {"compact: part of the controls behind the previous record's",
         compactPatch({CGood(), CWith(compact::NewFile("n.txt", "x"), [](compact::Record& r) { r.offset[0] = 2; })}),
         Expect::ApplyRefused, kDamaged},
        {"compact: copy past the end of the old file",
         cbad([](compact::Record& r) { r.steps[0].move = 3; }), Expect::ApplyRefused, kDamaged},
        {"compact: move before the start of the old file",
         cbad([](compact::Record& r) { r.steps[0].move = -1; }), Expect::ApplyRefused, kDamaged},
        {"compact: move far past the old file",
         cbad([](compact::Record& r) { r.steps[0].move = int64_t{1} << 40; }), Expect::ApplyRefused, kDamaged},
        {"compact: literals beyond the record's literals",
         cbad([](compact::Record& r) {
             r.steps[0].literal = 2;
             r.steps.push_back({0, 1, 0});
         }),
         Expect::ApplyRefused, kDamaged},
        {"compact: steps that stop short of the new length",
         cbad([](compact::Record& r) { r.steps[0].literal = 0; }), Expect::ApplyRefused, kDamaged},
        {"compact: a step that writes nothing",
         cbad([](compact::Record& r) { r.steps.insert(r.steps.begin(), {0, 0, 1}); }), Expect::ApplyRefused, kDamaged},
        {"compact: streams that do not add up to the new length",
         cbad([](compact::Record& r) { r.raw[2] = 7; }), Expect::ApplyRefused, kDamaged},
        {"compact: controls longer than any steps need",
         cbad([](compact::Record& r) { r.raw[0] = 9; }), Expect::ApplyRefused, kDamaged},
        {"compact: new file that copies from an old file",
         compactPatch({CGood(), CWith(compact::NewFile("n.txt", "abc"), [](compact::Record& r) {
             r.differences = "abc";
             r.literals.clear();
             r.steps[0] = {3, 0, 0};
         })}),
         Expect::ApplyRefused, kDamaged},
        {"compact: changed file without a delta",
         cbad([](compact::Record& r) { r.flags = 0; }), Expect::ApplyRefused, kDamaged},
        {"compact: unknown flags", cbad([](compact::Record& r) { r.flags = 10; }), Expect::ApplyRefused, kDamaged},
        {"compact: digests of a file whose old and new lengths differ",
         cbad([](compact::Record& r) { r.flags = 6; }), Expect::ApplyRefused, kDamaged},
        {"compact: no digests where old and new agree in length and sum",
         compactPatch({CWith(compact::Changed("a.txt", "old a", "a old"), [](compact::Record& r) { r.flags = 2; })}),
         Expect::ApplyRefused, kDamaged},
        {"compact: name of 300 bytes",
         compactPatch({CGood(), compact::NewFile(std::string(300, 'n'), "x")}), Expect::ApplyRefused, kDamaged},
        {"compact: file count above the records present",
         fixed(compact::PatchFile(compact::Image({CGood()}, {}, 3))), Expect::ApplyRefused, kDamaged},
        {"compact: newer version", fixed(compact::PatchFile(compact::Image({CGood()}, {}, -1, 5))),
         Expect::HeaderRefused, ""},
        {"compact: older version", fixed(compact::PatchFile(compact::Image({CGood()}, {}, -1, 2))),
         Expect::HeaderRefused, ""},
        {"compact: version 3, without the files that lead the literals",
         fixed(compact::PatchFile(compact::Image({CGood()}, {}, -1, 3))), Expect::HeaderRefused, ""},
        {"compact: lead file out of the folder", compactLedBy({{"..\\outside\\x", "outside x", {}}}),
         Expect::ApplyRefused, kNotAllowed},
        {"compact: lead file behind a link to a folder", compactLedBy({{"link\\x", "outside x", {}}}),
         Expect::ApplyRefused, kLeadMissing},
        {"compact: lead file that is a link, its content alike", compactLedBy({{"out.txt", "outside x", {}}}),
         Expect::ApplyRefused, kLeadMissing},
        {"compact: lead file of other content", compactLedBy({{"sub\\b.txt", "old c", {}}}), Expect::ApplyRefused,
         kLeadMismatch},
        {"compact: lead file that a record changes", compactLedBy({{"sub\\b.txt", "old b", {}}, {"a.txt", "old a", {}}}),
         Expect::ApplyRefused, kDamaged},
        {"compact: lead file that the patch removes", compactLedBy({{"sub\\b.txt", "old b", {}}}, {"sub\\B.txt"}),
         Expect::HeaderRefused, ""},
        {"compact: lead files longer together than an apply holds",
         compactLedBy({{"sub\\b.txt", "old b", {}}, {"x", "x", 4u << 20}}), Expect::HeaderRefused, ""},
        {"compact: lead file named in 300 bytes", compactLedBy({{std::string(300, 'n'), "x", {}}}),
         Expect::HeaderRefused, ""},
        {"compact: packed delta whose twin is itself",
         compactPatch({CGood(), compact::Packed("n.txt", "", "new a!x", 2, "new a!")}), Expect::ApplyRefused, kDamaged},
        {"compact: packed delta whose twin is past the last record",
         compactPatch({CGood(), compact::Packed("n.txt", "", "new a!x", 40000, "new a!")}), Expect::ApplyRefused, kDamaged},
        {"compact: packed delta whose twin has a twin",
         compactPatch({CGood(), compact::Packed("n.txt", "", "new a!x", 1, "new a!"),
                       compact::Packed("m.txt", "", "new a!xy", 2, "new a!x")}),
         Expect::ApplyRefused, kDamaged},
        {"compact: packed delta whose twin has no delta",
         compactPatch({CWith(compact::Changed("sub\\b.txt", "old b", "old b"), [](compact::Record& r) { r.flags = 0; }),
                       compact::Packed("n.txt", "", "old bx", 1, "old b")}),
         Expect::ApplyRefused, kDamaged},
        {"compact: frame longer than the frames",
         compactPatch({CWith(compact::Packed("a.txt", "old a", "new a!"), [](compact::Record& r) {
             r.frameLength = static_cast<uint32_t>(r.frame.size() + 1);
         })}),
         Expect::ApplyRefused, kDamaged},
        {"compact: frames not used up",
         compactPatch({CWith(compact::Packed("a.txt", "old a", "new a!"), [](compact::Record& r) {
             r.frameLength = static_cast<uint32_t>(r.frame.size() - 1);
         })}),
         Expect::ApplyRefused, kDamaged},
        {"compact: packed delta of an old file too long for a prefix",
         compactPatch({CWith(compact::Packed("a.txt", "old a", "new a!"), [](compact::Record& r) {
             r.oldLength = (16u << 20) + 1;
         })}),
         Expect::ApplyRefused, kDamaged},
        {"compact: frame of another length than the new file",
         compactPatch({CWith(compact::Packed("a.txt", "old a", "new a!"),
                             [](compact::Record& r) { r.frame = compact::Packed("a.txt", "old a", "new a!!").frame; })}),
         Expect::ApplyRefused, "did not come out as the patch file says"},
        {"compact: remove count without its entries",
         [](const std::string&) {
             const std::string img = compact::Image({}, {"a", "b"});
             return compact::PatchFile(img.substr(0, img.size() - 6));
         },
         Expect::HeaderRefused, ""},
        {"compact: remove entry in the parent folder",
         fixed(compact::PatchFile(compact::Image({CGood()}, {"..\\outside\\x"}))), Expect::RemovalSkipped, "outside/x"},
        {"garbage behind the prefix",
         [](const std::string&) {
             std::vector<unsigned char> r = RandomBytes(5000, 9);
             return std::string(8, '\0') + std::string(r.begin(), r.end());
         },
         Expect::HeaderRefused, ""},
    };
}

class HostileTest : public ::testing::TestWithParam<CCase> {
protected:
    void SetUp() override
    {
        target = root.MakeFolder("target");
        outside = root.MakeFolder("outside");
        root.WriteAll({{"target/a.txt", "old a"}, {"target/sub/b.txt", "old b"}, {"outside/x", "outside x"},
                       {"outside/secret.txt", "secret"}});
        ASSERT_EQ(symlink(outside.c_str(), (target + "/link").c_str()), 0);
        ASSERT_EQ(symlink((outside + "/x").c_str(), (target + "/out.txt").c_str()), 0);
        run.patchFile = root / "p.dvp";
        prompt.SetDefault(PromptAnswer::Cancel);
    }

    // Opens and applies the patch file: -99 when it cannot be opened.
    int Apply(IApplyProgress* progress = nullptr, const std::string& logFile = "")
    {
        run.logFile = logFile;
        const int result = run.Apply(1, "bak", progress);
        return result == 99 ? -99 : result;
    }

    CTestFolder root;
    CApplyRun run{root};
    CScriptedPrompt& prompt = run.prompt;
    std::string target, outside;
    std::vector<std::string>& errors = run.errors;
    int& failure = run.failure;
    bool& mismatchOnly = run.mismatchOnly;
};

TEST_P(HostileTest, IsRefusedAndChangesNothing)
{
    const CCase& c = GetParam();
    root.Write("p.dvp", c.patch(outside));
    run.windowsNames = c.windowsNames;
    const auto before = SnapshotTree(root.Path());

    int result = Apply();
    // Names from the patch reach no message with a control character but line breaks.
    auto hasControl = [](const std::string& text) {
        return std::any_of(text.begin(), text.end(),
                           [](char ch) { return (static_cast<unsigned char>(ch) < 0x20 && ch != '\n') || ch == 0x7f; });
    };
    for (const auto& shown : prompt.Shown())
        EXPECT_FALSE(hasControl(shown.text)) << shown.text;
    for (const auto& e : errors)
        EXPECT_FALSE(hasControl(e)) << e;
    if (c.expect == Expect::HeaderRefused) {
        EXPECT_EQ(result, -99);
    } else if (c.expect == Expect::RemovalSkipped) {
        EXPECT_EQ(result, 1);
        ASSERT_EQ(prompt.Shown().size(), 1u);
        const std::string& shown = prompt.Shown()[0].text;
        EXPECT_EQ(shown.rfind(kRemovalWarning, 0), 0u) << shown;
        EXPECT_EQ(shown.substr(shown.size() - c.entry.size()), c.entry) << shown;
        EXPECT_TRUE(fsys::PathExists(target + "/link"));
        EXPECT_EQ(ReadFileText(target + "/a.txt"), "new a!");
        // The rest was applied (with its backup); nothing else changed.
        auto after = SnapshotTree(root.Path());
        EXPECT_EQ(after["target/a.bak"], "old a");
        after.erase("target/a.bak");
        after["target/a.txt"] = "old a";
        EXPECT_EQ(after, before);
        return;
    } else {
        // A patch that cannot be applied as it is exits otherwise than a target that does
        // not match.
        EXPECT_FALSE(mismatchOnly && c.entry != kLinked && c.entry != kLinkOut && c.entry != kBlocked &&
                     c.entry != kLeadMissing && c.entry != kLeadMismatch)
            << "counted as a mismatch";
        EXPECT_EQ(result, 0);
        EXPECT_EQ(failure, 1);
        bool found = false;
        for (const auto& e : errors)
            found = found || e.find(c.entry) != std::string::npos;
        EXPECT_TRUE(found) << (errors.empty() ? std::string("no entries") : errors[0]);
    }
    EXPECT_EQ(SnapshotTree(root.Path()), before);
    EXPECT_TRUE(fsys::PathExists(target + "/link"));
    EXPECT_FALSE(fsys::PathExists(root / "evil"));
    EXPECT_FALSE(fsys::PathExists(root / "x"));
}

INSTANTIATE_TEST_SUITE_P(CraftedPatchFiles, HostileTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<CCase>& info) {
                             std::string name;
                             for (char ch : info.param.what)
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

// A link to a file at a name the patch writes is replaced; the file it led to stays.
TEST_F(HostileTest, LinkedFileIsReplacedNotWrittenThrough)
{
    ASSERT_EQ(symlink((outside + "/secret.txt").c_str(), (target + "/new.txt").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/nothing-yet").c_str(), (target + "/dangling.txt").c_str()), 0);
    root.Write("p.dvp", Patch({image::NewFile("new.txt", "planted"), image::NewFile("dangling.txt", "planted")}));
    EXPECT_EQ(Apply(), 1);
    EXPECT_EQ(ReadFileText(outside + "/secret.txt"), "secret");
    EXPECT_FALSE(fsys::PathExists(outside + "/nothing-yet"));
    EXPECT_EQ(ReadFileText(target + "/new.txt"), "planted");
    // The link itself is kept as the backup, beside the target.
    char link[256] = {};
    ASSERT_GT(readlink((target + "/new.bak").c_str(), link, sizeof link - 1), 0);
    EXPECT_EQ(std::string(link), outside + "/secret.txt");
}

// Someone who can rename inside the target while the apply runs swaps a checked folder
// for a link to a folder outside that holds a file of the same name and content: the
// apply must not write there, whether the kernel resolves names beneath the target or
// the apply walks them one component at a time.
TEST_F(HostileTest, FolderSwappedForALinkDuringTheApplyIsNotFollowed)
{
    class CSwapAt : public IApplyProgress {
    public:
        void SetStatus(const std::string&) override {}
        void SetPos(int) override {}
        bool CheckCancelButton() override
        {
            if (++checks == 2) // the first record of the second pass
                swap();
            return false;
        }
        int checks = 0;
        std::function<void()> swap;
    };
    for (bool walkOnly : {false, true}) {
        SCOPED_TRACE(walkOnly ? "component walk" : "resolved beneath");
        CFolderHandle::UseWalkOnly(walkOnly);
        fsys::RemoveTree(target + "/sub");
        fsys::RemoveTree(target + "/moved");
        unlink((target + "/sub").c_str());
        root.WriteAll({{"target/sub/b.txt", "old b"}, {"outside/b.txt", "old b"},
                       {"p.dvp", Patch({image::Changed("sub\\b.txt", "old b", "new b")})}});
        CSwapAt progress;
        progress.swap = [&] {
            ASSERT_EQ(rename((target + "/sub").c_str(), (target + "/moved").c_str()), 0);
            ASSERT_EQ(symlink(outside.c_str(), (target + "/sub").c_str()), 0);
        };
        prompt.Clear();
        EXPECT_EQ(Apply(&progress), 0);
        EXPECT_EQ(ReadFileText(outside + "/b.txt"), "old b");
        EXPECT_EQ(ReadFileText(target + "/moved/b.txt"), "old b");
        ASSERT_FALSE(prompt.Shown().empty());
        std::vector<std::string> names;
        for (const auto& [name, content] : SnapshotTree(outside))
            names.push_back(name);
        EXPECT_EQ(names, (std::vector<std::string>{"b.txt", "secret.txt", "x"}));
    }
    CFolderHandle::UseWalkOnly(false);
}

// The same swap in the middle of a record, after its folder was opened and while its
// file is rebuilt (the log, a pipe here, holds the apply at its first line): the file
// goes into the folder that was checked, wherever it now is, never through the link.
TEST_F(HostileTest, FolderSwappedForALinkWhileAFileIsRebuiltIsNotFollowed)
{
    const std::string log = root / "log.fifo";
    ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
    root.WriteAll({{"target/sub/b.txt", "old b"}, {"outside/b.txt", "old b"},
                   {"p.dvp", Patch({image::Changed("sub\\b.txt", "old b", "new b")})}});
    // Reads the log as it comes; at the first line, swaps the folder for a link. The swap
    // is made as soon as the line is read. Mostly the apply waits meanwhile to open the log
    // for its next line; where that writer found the pipe still open, it is not held, and
    // the swap comes later in the apply or after it (the outcome must be the same).
    std::thread reader([&] {
        bool swapped = false;
        std::string text;
        for (;;) {
            int fd = open(log.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                return;
            char buffer[4096];
            ssize_t n;
            while ((n = read(fd, buffer, sizeof buffer)) > 0) {
                text.append(buffer, static_cast<size_t>(n));
                if (!swapped && text.find("Applying patch #0") != std::string::npos) {
                    swapped = true;
                    rename((target + "/sub").c_str(), (target + "/moved").c_str());
                    symlink(outside.c_str(), (target + "/sub").c_str());
                }
            }
            close(fd);
            if (text.find("end of test") != std::string::npos)
                return;
        }
    });
    const int result = Apply(nullptr, log);
    int fd = open(log.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "end of test", 11), 11);
    close(fd);
    reader.join();

    EXPECT_EQ(result, 1);
    EXPECT_EQ(ReadFileText(outside + "/b.txt"), "old b");
    EXPECT_EQ(ReadFileText(target + "/moved/b.txt"), "new b");
    EXPECT_EQ(ReadFileText(target + "/moved/b.bak"), "old b");
    std::vector<std::string> names;
    for (const auto& [name, content] : SnapshotTree(outside))
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"b.txt", "secret.txt", "x"}));
}

TEST(SafeNames, RelativeNames)
{
    for (const char* good : {"a", "a.txt", "sub/b.txt", "sub\\b.txt", "..a", "a..", ".hidden", "a b/c:d"})
        EXPECT_TRUE(IsSafeRelativeName(good)) << good;
    for (const char* bad : {"", "/a", "\\a", "..", ".", "a/..", "a/./b", "a//b", "a/", "C:", "c:x", "\\\\?\\x",
                            "a\\..\\b"})
        EXPECT_FALSE(IsSafeRelativeName(bad)) << bad;
    std::string folder;
    EXPECT_TRUE(TargetFolderOf("/t/sub/a", "sub/a", folder));
    EXPECT_EQ(folder, "/t");
    EXPECT_TRUE(TargetFolderOf("/a", "a", folder));
    EXPECT_EQ(folder, "/");
    EXPECT_FALSE(TargetFolderOf("/t/xsub/a", "sub/a", folder));
}

} // namespace
