#pragma once
// UndoStack: a document's bounded history of user actions.
//
// A command knows how to apply itself and how to swap its saved state with
// the current one; the stack orders and owns the commands. Pushing a new
// command discards the redo history, and the history keeps the 100 most
// recent commands.

#include <cstdint>

#include "GrowArray.h"

class UndoCommand {
public:
    UndoCommand() = default;
    virtual ~UndoCommand() = default;
    UndoCommand(const UndoCommand&) = delete;
    UndoCommand& operator=(const UndoCommand&) = delete;

    // First application, run when the command is pushed; false: the command
    // is not recorded.
    virtual bool execute() = 0;
    // Restores the state from before the command; false: the command is dropped.
    virtual bool undo() = 0;
    // Applies it again; false: the command is dropped.
    virtual bool redo() = 0;
};

class UndoStack {
public:
    static constexpr int32_t kLimit = 100;  // commands kept in the undo list

    UndoStack() = default;
    ~UndoStack();
    UndoStack(const UndoStack&) = delete;
    UndoStack& operator=(const UndoStack&) = delete;
    UndoStack(UndoStack&&) = delete;
    UndoStack& operator=(UndoStack&&) = delete;

    // Records a new user action: deletes the redo history, executes the
    // command and appends it to the undo list. The stack owns the command
    // from here on: one whose execute fails is deleted at once. Returns
    // whether the command was recorded.
    bool push(UndoCommand* command);
    // Appends an already-applied command, deleting the oldest at the limit.
    void appendUndo(UndoCommand* command);
    // Undoes the newest command: on success it moves to the redo list, on
    // failure it is deleted. Returns whether a command was undone.
    bool undo();
    // Redoes the command undone last: on success it returns to the undo
    // list, on failure it is deleted. Returns whether a command was redone.
    bool redo();

    bool canUndo() const { return undoList.count > 0; }
    bool canRedo() const { return redoList.count > 0; }
    int32_t undoCount() const { return undoList.count; }
    int32_t redoCount() const { return redoList.count; }
    // Deletes every command of both lists.
    void clear();

private:
    static void deleteAll(GrowArray<UndoCommand*>& list);

    GrowArray<UndoCommand*> undoList;  // oldest first; the last is undone next
    GrowArray<UndoCommand*> redoList;  // the last is redone next
};
