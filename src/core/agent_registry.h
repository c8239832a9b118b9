// Finds the subsystem agent that serves a simulation component by name: a
// character trie of the configured subsystem names, where a name ending in
// "*" matches every longer name with that prefix. An exact name beats any
// pattern, and a longer pattern prefix beats a shorter one.
//
// The registry owns every node in one flat list and nodes only point at their
// children, so a name of any length is released without recursion.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <sstream>
#include <string_view>
#include <vector>

namespace vantric {

class SubsystemAgent;

class AgentRegistry {
public:
    AgentRegistry();
    ~AgentRegistry();

    // Takes ownership; a later insert under the same name replaces the
    // trie's agent, but the earlier one stays in the list (and is finished
    // at release).
    SubsystemAgent* insert(std::string_view name, std::unique_ptr<SubsystemAgent> agent);
    SubsystemAgent* LookupAgent(std::string_view componentName) const;

    // Every agent, in creation order.
    std::vector<std::unique_ptr<SubsystemAgent>>& agents() { return agents_; }

    std::ostringstream warnings;
    uint8_t agentCount = 0;

private:
    struct Node {
        std::map<char, Node*> children;
        bool terminal = false;
        SubsystemAgent* agent = nullptr;
    };

    Node root_;
    std::deque<Node> nodes_;  // every node but the root; a deque keeps them in place
    SubsystemAgent* defaultAgent_ = nullptr;  // always null
    std::vector<std::unique_ptr<SubsystemAgent>> agents_;
};

}  // namespace vantric
