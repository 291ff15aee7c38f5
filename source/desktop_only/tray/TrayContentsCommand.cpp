#include "tray/TrayContentsCommand.h"

#include "framework/CompoundFilter.h"
#include "tray/TrayWidget.h"

namespace {
std::unique_ptr<CompoundFilter> cloneChain(const CompoundFilter* chain) {
    if (!chain) return nullptr;
    return std::unique_ptr<CompoundFilter>(dynamic_cast<CompoundFilter*>(duplicateMod(*chain)));
}
}  // namespace

TrayContentsCommand::TrayContentsCommand(TrayWidget* owner)
    : tray(owner), master(cloneChain(owner->masterList())), pre(cloneChain(owner->preList())) {}

TrayContentsCommand::~TrayContentsCommand() = default;

bool TrayContentsCommand::swap() {
    if (!tray || !master || !pre) return false;
    tray->swapChains(master, pre);
    return true;
}
