#pragma once
// TrayContentsCommand: the undo record of a change to a tray's tiles. It
// holds clones of the tray's master and pre chains taken when it is made;
// undo and redo swap that snapshot with the tray's chains, so each call
// restores the other state. The tray owns the undo stack holding the
// command, so the tray outlives it.

#include <memory>

#include "foundation/UndoStack.h"

class CompoundFilter;
class TrayWidget;

class TrayContentsCommand : public UndoCommand {
public:
    explicit TrayContentsCommand(TrayWidget* tray);
    ~TrayContentsCommand() override;

    bool execute() override { return true; }
    bool undo() override { return swap(); }
    bool redo() override { return swap(); }

private:
    bool swap();
    TrayWidget* tray;
    std::unique_ptr<CompoundFilter> master;
    std::unique_ptr<CompoundFilter> pre;
};
