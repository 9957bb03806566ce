#pragma once

// The global-hotkey handler. The key grab calls it from whatever thread
// notices the key; the hub's hotKeyPressed(id) is emitted on the GUI thread.
namespace callback {

// id: the RP_HotKey of the pressed hotkey.
void onAction(int id);

} // namespace callback
