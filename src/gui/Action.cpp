#include "gui/Action.h"

namespace gui {

TAction::TAction(TForm&, std::string name, std::string caption)
    : TComponent(std::move(name)), caption_(std::move(caption)) {}

TAction::~TAction() {
    // Clients outliving the action keep their last state and lose the link.
    const auto clients = clients_;
    clients_.clear();
    for (const auto& client : clients)
        client.second(nullptr);
}

bool TAction::Execute() {
    if (!enabled_ || !OnExecute) return false;
    OnExecute();
    return true;
}

void TAction::Link(const void* client, Changed changed) {
    Unlink(client);
    clients_.emplace_back(client, std::move(changed));
    clients_.back().second(this);
}

void TAction::Unlink(const void* client) {
    std::erase_if(clients_, [client](const auto& entry) { return entry.first == client; });
}

void TAction::Notify() {
    // A client may unlink itself while it updates; walk a copy.
    const auto clients = clients_;
    for (const auto& client : clients)
        client.second(this);
}

} // namespace gui
