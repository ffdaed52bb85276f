#include "commands/CommandTable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "doc/Image.h"
#include "testsupport/BusyToolHost.h"
#include "testsupport/DocumentTestSupport.h"

namespace zelvo {
namespace {

std::vector<const CommandEntry*> AllEntries() {
    std::vector<const CommandEntry*> all;
    for (const CommandFamily& f : CommandFamilies())
        for (const CommandEntry& e : f.entries)
            if (!e.IsSeparator()) all.push_back(&e);
    return all;
}

TEST(CommandTable, EveryEntryResolvesByItsIdMenuAndVerb) {
    const std::set<std::string> kTopMenus = {"&File",   "&Edit", "&Image",  "&Layer", "&Select",
                                             "Filte&r", "&View", "&Window", "&Help"};
    // Each menu answers its own Alt+letter.
    std::set<char> letters;
    for (const std::string& m : kTopMenus)
        EXPECT_TRUE(letters.insert(char(std::tolower(m[m.find('&') + 1]))).second) << m;
    std::set<int> ids;
    std::set<std::string> verbs, captions;
    for (const CommandEntry* e : AllEntries()) {
        SCOPED_TRACE(e->menu + " / " + e->text);
        EXPECT_TRUE(ids.insert(e->id).second) << "id used twice";
        EXPECT_TRUE(captions.insert(e->menu + "|" + e->text).second) << "caption used twice";
        EXPECT_FALSE(e->text.empty());
        EXPECT_TRUE(kTopMenus.count(e->menu.substr(0, e->menu.find('/'))));
        EXPECT_EQ(FindCommand(e->id), e);
        EXPECT_EQ(FindCommandByMenu(e->menu, e->text), e);
        // A command the table runs has a rule; one taking values names them and shows a use.
        EXPECT_EQ(bool(e->run), bool(e->rule));
        if (e->TakesValues()) {
            EXPECT_TRUE(e->run);
        }
        if (e->run) {
            EXPECT_FALSE(e->verb.empty()) << "a document command needs its script verb";
        }
        if (!e->verb.empty()) {
            EXPECT_TRUE(verbs.insert(e->verb).second) << "verb used twice";
            EXPECT_EQ(FindCommandByVerb(e->verb), e);
        }
    }
    EXPECT_EQ(FindCommand(0), nullptr);
    EXPECT_EQ(FindCommand(12345), nullptr);
    EXPECT_EQ(FindCommandByVerb("adjust inverse"), nullptr);
    EXPECT_EQ(FindCommandByMenu("&Image", "Invert"), nullptr);  // it sits under Adjustments
}

class CommandRules : public test::DocumentFixture {};

// Whether the entry named by its verb is enabled.
bool Enabled(const char* verb, const CommandContext& context) {
    const CommandEntry* e = FindCommandByVerb(verb);
    EXPECT_TRUE(e) << verb;
    return e && CommandEnabled(*e, context);
}

TEST_F(CommandRules, EnablingFollowsTheDocument) {
    auto image = NewImage(20, 10);
    const CommandContext none = CommandContext::Of(nullptr);
    const CommandContext doc = CommandContext::Of(image.get());
    struct Case {
        const char* verb;
        bool withoutDocument, onNewImage, withSelection;
    };
    const Case cases[] = {
        {"adjust invert", false, true, true},   {"filter blur", false, true, true},
        {"layer new", false, true, true},       {"layer merge-all", false, false, false},
        {"select all", false, true, true},      {"select none", false, false, true},
        {"select feather", false, false, true}, {"edit clear", false, false, true},
        {"edit copy", false, false, true},      {"edit clean-clipboard", true, true, true},
        {"image rotate cw", false, true, true}, {"history undo", false, false, true},
        {"new", false, false, false},  // the front ends decide
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verb);
        EXPECT_EQ(Enabled(c.verb, none), c.withoutDocument);
        EXPECT_EQ(Enabled(c.verb, doc), c.onNewImage);
    }
    CommandContext run = doc;
    ASSERT_EQ(RunCommand(*FindCommandByVerb("select all"), run), 1);
    EXPECT_TRUE(run.HasSelection());
    for (const Case& c : cases) EXPECT_EQ(Enabled(c.verb, run), c.withSelection) << c.verb;
}

TEST_F(CommandRules, ABusyToolRefusesEveryDocumentCommand) {
    auto image = NewImage(20, 10);
    test::BusyToolHost busy;
    image->History().SetHost(&busy);
    CommandContext context = CommandContext::Of(image.get());
    EXPECT_TRUE(context.toolBusy);
    const int states = image->History().StateCount();
    int refused = 0;
    for (const CommandEntry* e : AllEntries()) {
        if (!e->refusedWhileToolBusy) continue;
        EXPECT_FALSE(CommandEnabled(*e, context)) << e->verb;
        EXPECT_EQ(RunCommand(*e, context, CommandValues(256, 1)), 0) << e->verb;
        ++refused;
    }
    EXPECT_GT(refused, 40);
    EXPECT_EQ(image->History().StateCount(), states);
    image->History().SetHost(image.get());
}

TEST_F(CommandRules, RunsTakeTheDialogsValues) {
    auto image = NewImage(20, 10);
    CommandContext context = CommandContext::Of(image.get());
    const int states = image->History().StateCount();
    ASSERT_EQ(RunCommand(*FindCommand(kIdPrintSize), context, {5000}), 1);
    EXPECT_EQ(image->Resolution(), 5000);
    EXPECT_TRUE(image->IsModified());
    EXPECT_EQ(image->History().StateCount(), states);
    ASSERT_EQ(RunCommand(*FindCommand(kIdCanvasSize), context, {30, 12}), 1);
    EXPECT_EQ(image->Width(), 30);
    ASSERT_EQ(RunCommand(*FindCommand(kIdImageSize), context, {15, 6, 2834, 1}), 1);
    EXPECT_EQ(image->Height(), 6);
    EXPECT_EQ(image->Resolution(), 2834);
    ASSERT_EQ(RunCommand(*FindCommand(kIdInvert), context), 1);
    EXPECT_EQ(image->History().StateCount(), states + 3);
}

}  // namespace
}  // namespace zelvo
