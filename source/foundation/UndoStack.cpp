#include "UndoStack.h"

UndoStack::~UndoStack() {
    clear();
}

void UndoStack::deleteAll(GrowArray<UndoCommand*>& list) {
    for (UndoCommand* command : list) delete command;
    list.destroy();
}

void UndoStack::clear() {
    deleteAll(undoList);
    deleteAll(redoList);
}

bool UndoStack::push(UndoCommand* command) {
    if (!command) return false;
    deleteAll(redoList);
    if (!command->execute()) {
        delete command;
        return false;
    }
    appendUndo(command);
    return true;
}

void UndoStack::appendUndo(UndoCommand* command) {
    if (!command) return;
    if (undoList.count >= kLimit) {
        delete undoList[0];
        undoList.removeAt(0);
    }
    undoList.append(command);
}

bool UndoStack::undo() {
    if (undoList.count == 0) return false;
    UndoCommand* command = undoList[undoList.count - 1];
    undoList.removeAt(undoList.count - 1);
    if (!command->undo()) {
        delete command;
        return false;
    }
    redoList.append(command);
    return true;
}

bool UndoStack::redo() {
    if (redoList.count == 0) return false;
    UndoCommand* command = redoList[redoList.count - 1];
    redoList.removeAt(redoList.count - 1);
    if (!command->redo()) {
        delete command;
        return false;
    }
    appendUndo(command);
    return true;
}
