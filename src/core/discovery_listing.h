// Discovery mode: lists every trace source of the simulation with its
// fields, merged with the counter defaults, and every CPU instance with its
// identification, as JSON text on standard output. Users read it to write
// counter configurations.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/host_abi.h"
#include "counters/counter_defaults.h"

namespace vantric {

class DiscoveryListing {
public:
    explicit DiscoveryListing(std::ostream& out);

    // False when the counter defaults cannot be read; nothing is printed then.
    bool run(plexa::CAInterface* simulation, const std::string& counterDefaultsPath);

    // Failure messages of the counter defaults reader.
    std::ostringstream messages;

    // The pieces of `run`, usable on their own.
    void collect(const std::string& component, ZVT::ComponentTraceInterface* trace);
    void print();
    CounterDefaultsMap& counterDefaults() { return counterDefaults_; }

private:
    struct BasicSource {
        std::string component;
        std::string condition;
        std::string title;
        std::string counterName;
        std::string type;
        std::string display;
        std::string units;
        bool averageSelection;
        bool perCpu;
        uint32_t messageInterval;
        ZVT::TraceSource* source;
    };
    struct OtherSource {
        std::string component;
        ZVT::TraceSource* source;
    };

    void printFields(ZVT::TraceSource* source);
    void printInstances(std::string& errors);

    std::ostream& out_;
    std::map<std::string, ZVT::ComponentTraceInterface*> instances_;
    std::vector<OtherSource> otherSources_;
    std::vector<BasicSource> basicSources_;
    CounterDefaultsMap counterDefaults_;
};

// Escapes a description for the listing: \b \t \n \f \r \" \/ and \\.
std::string EscapeDescription(const char* text);

}  // namespace vantric
