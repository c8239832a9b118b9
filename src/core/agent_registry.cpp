#include "core/agent_registry.h"

#include "core/subsystem_agent.h"

namespace vantric {

AgentRegistry::AgentRegistry() = default;
AgentRegistry::~AgentRegistry() = default;

SubsystemAgent* AgentRegistry::insert(std::string_view name, std::unique_ptr<SubsystemAgent> agent) {
    Node* node = &root_;
    for (char c : name) {
        Node*& child = node->children[c];
        if (child == nullptr) {
            child = &nodes_.emplace_back();
            child->agent = defaultAgent_;
        }
        node = child;
    }
    node->terminal = true;
    node->agent = agent.get();
    agents_.push_back(std::move(agent));
    return node->agent;
}

SubsystemAgent* AgentRegistry::LookupAgent(std::string_view componentName) const {
    const Node* node = &root_;
    const Node* wildcard = nullptr;
    size_t position = 0;
    while (true) {
        // Only a "*" that ends a registered pattern is a wildcard; one inside
        // a longer name is an ordinary character and must not hide a
        // shallower pattern such as "*".
        auto star = node->children.find('*');
        if (star != node->children.end() && star->second->terminal) wildcard = star->second;
        if (position >= componentName.size()) break;
        auto next = node->children.find(componentName[position]);
        if (next == node->children.end()) break;
        node = next->second;
        ++position;
        if (position == componentName.size()) {
            if (node->terminal) return node->agent;
            break;
        }
    }
    return wildcard != nullptr ? wildcard->agent : defaultAgent_;
}

}  // namespace vantric
