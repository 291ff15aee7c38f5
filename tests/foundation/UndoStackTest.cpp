#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/UndoStack.h"

namespace {

// What the test commands did, in order: "x3" executed command 3, "u3" undid
// it, "r3" redid it, "d3" deleted it.
struct Journal {
    std::vector<std::string> events;
    int alive = 0;
    bool saw(const std::string& e) const { return std::find(events.begin(), events.end(), e) != events.end(); }
};

class TestCommand : public UndoCommand {
public:
    TestCommand(Journal& j, int id, bool executeOk = true, bool undoOk = true, bool redoOk = true)
        : journal(j), id(id), executeOk(executeOk), undoOk(undoOk), redoOk(redoOk) {
        ++journal.alive;
    }
    ~TestCommand() override {
        --journal.alive;
        log("d");
    }
    bool execute() override { return log("x"), executeOk; }
    bool undo() override { return log("u"), undoOk; }
    bool redo() override { return log("r"), redoOk; }

private:
    void log(const char* what) { journal.events.push_back(what + std::to_string(id)); }
    Journal& journal;
    int id;
    bool executeOk, undoOk, redoOk;
};

}  // namespace

TEST(UndoStack, KeepsTheHundredNewestCommandsAndDeletesTheRestWithItself) {
    Journal j;
    {
        UndoStack stack;
        for (int i = 1; i <= 101; ++i) EXPECT_TRUE(stack.push(new TestCommand(j, i)));
        EXPECT_EQ(stack.undoCount(), 100);
        EXPECT_EQ(j.alive, 100);
        EXPECT_TRUE(j.saw("d1"));
        EXPECT_FALSE(j.saw("d2"));

        // Redo at the limit: the returning command pushes out the oldest.
        stack.undo();
        stack.appendUndo(new TestCommand(j, 102));
        EXPECT_TRUE(stack.redo());
        EXPECT_TRUE(j.saw("d2"));
        EXPECT_EQ(stack.undoCount(), 100);
    }
    EXPECT_EQ(j.alive, 0);
}

TEST(UndoStack, PushAfterUndoDiscardsTheRedoHistory) {
    Journal j;
    UndoStack stack;
    stack.push(new TestCommand(j, 1));
    stack.push(new TestCommand(j, 2));
    EXPECT_TRUE(stack.undo());
    stack.push(new TestCommand(j, 3));
    EXPECT_TRUE(j.saw("d2"));
    EXPECT_FALSE(stack.redo());
    EXPECT_EQ(stack.undoCount(), 2);
}

TEST(UndoStack, ACommandThatFailsToExecuteIsDeletedAndNotRecorded) {
    Journal j;
    UndoStack stack;
    stack.push(new TestCommand(j, 1));
    stack.push(new TestCommand(j, 2));
    stack.undo();
    EXPECT_FALSE(stack.push(new TestCommand(j, 3, false)));
    EXPECT_EQ(stack.undoCount(), 1);
    EXPECT_EQ(stack.redoCount(), 0);  // the push still discarded the redo history
    EXPECT_TRUE(j.saw("d3"));          // the stack owned it from the push: no leak
    EXPECT_EQ(j.alive, 1);
}

TEST(UndoStack, FailedUndoOrRedoDropsTheCommand) {
    Journal j;
    UndoStack stack;
    stack.push(new TestCommand(j, 1));
    stack.push(new TestCommand(j, 2, true, false));
    EXPECT_FALSE(stack.undo());
    EXPECT_TRUE(j.saw("d2"));
    stack.push(new TestCommand(j, 3, true, true, false));
    EXPECT_TRUE(stack.undo());
    EXPECT_FALSE(stack.redo());
    EXPECT_TRUE(j.saw("d3"));
    EXPECT_EQ(stack.undoCount(), 1);
    EXPECT_EQ(stack.redoCount(), 0);
    EXPECT_EQ(j.alive, 1);
}

TEST(UndoStack, RedoRestoresInReverseOrderOfUndoing) {
    Journal j;
    UndoStack stack;
    for (int i = 1; i <= 3; ++i) stack.push(new TestCommand(j, i));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(stack.undo());
    EXPECT_FALSE(stack.undo());
    j.events.clear();
    while (stack.redo()) {
    }
    EXPECT_EQ(j.events, (std::vector<std::string>{"r1", "r2", "r3"}));
    EXPECT_EQ(stack.undoCount(), 3);
}
