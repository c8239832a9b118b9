// The simulation-wide host services a plug-in finds by component name: the
// component registry itself, the scheduler ("scheduler") and the simulation
// control ("qoviSimulation").
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "host_abi.h"

namespace kvhost {

// Components by name. Answers "vq.ComponentRegistry" for itself.
class ComponentRegistry final : public vq::ComponentRegistry {
public:
    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;
    plexa::CAInterface* FindComponent(const char* name) override;
    bool AddComponentInterface(const char* name, plexa::CAInterface* component) override;

    plexa::CAInterface* Find(std::string_view name) const;
    void Add(std::string name, plexa::CAInterface* component);
    void Remove(std::string_view name);
    size_t size() const { return components_.size(); }

private:
    std::map<std::string, plexa::CAInterface*, std::less<>> components_;
};

// Simulated time in ticks of a settable length. Answers
// "vq.SchedulerInterfaceForComponents" revision 1.
class Scheduler final : public vq::SchedulerInterfaceForComponents {
public:
    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;
    uint64_t getCurrentSimulationTime(const void* clock) override;
    double getTickSeconds() override { return tickSeconds_; }

    void SetTicks(uint64_t ticks) { ticks_ = ticks; }
    void AdvanceTicks(uint64_t ticks) { ticks_ += ticks; }
    uint64_t ticks() const { return ticks_; }
    void SetTickSeconds(double seconds) { tickSeconds_ = seconds; }
    // How often getCurrentSimulationTime was asked, and the last clock passed.
    uint64_t timeQueries() const { return timeQueries_; }
    const void* lastClock() const { return lastClock_; }

private:
    uint64_t ticks_ = 0;
    double tickSeconds_ = 1e-9;
    uint64_t timeQueries_ = 0;
    const void* lastClock_ = nullptr;
};

// Records end requests. Answers "plexa.QOVISimulation2".
class SimulationControl final : public plexa::QOVISimulation2 {
public:
    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;
    void EndSimulation(bool stopNow) override;

    bool ended() const { return endRequests_ > 0; }
    uint32_t endRequests() const { return endRequests_; }
    bool lastStopNow() const { return lastStopNow_; }

private:
    uint32_t endRequests_ = 0;
    bool lastStopNow_ = false;
};

}  // namespace kvhost
