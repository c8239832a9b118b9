// A simulated component with trace sources: the object that the system trace
// interface hands out for it, answering "ComponentTraceInterface1".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host_abi.h"
#include "kv_field.h"
#include "kv_trace_source.h"

namespace kvhost {

class TraceComponent : public ZVT::ComponentTraceInterface {
public:
    explicit TraceComponent(std::string name);
    TraceComponent(const TraceComponent&) = delete;
    TraceComponent& operator=(const TraceComponent&) = delete;
    ~TraceComponent() override;

    // ---- host contract ----
    plexa::CAInterface* LookupInterface(const char* name, uint32_t minimumRevision,
                                        uint32_t* actualRevision) override;
    uint32_t TraceSourceCount() override { return static_cast<uint32_t>(sources_.size()); }
    ZVT::TraceSource* FindTraceSource(const char* name) override;
    ZVT::TraceSource* TraceSourceAt(uint32_t index) override;

    // ---- model ----
    const std::string& name() const { return name_; }
    // Adds a source after the existing ones; a duplicate name throws.
    TraceSource& AddSource(std::string name, std::string description,
                           std::vector<FieldShape> fields);
    // The named source; throws std::invalid_argument when absent.
    TraceSource& Source(std::string_view name);
    TraceSource* FindSource(std::string_view name);
    // Hides a source from the plug-in. The object stays alive, so pointers
    // already handed out (and callbacks already registered) stay valid.
    void RemoveSource(std::string_view name);

    // Revision registered for "ComponentTraceInterface1" (2 by default); a
    // lower one makes the plug-in's lookup with minimum revision 2 fail.
    void SetTraceRevision(uint32_t revision) { traceRevision_ = revision; }

protected:
    // Further interface names a derived component answers.
    virtual plexa::CAInterface* LookupExtra(const char* name, uint32_t minimumRevision,
                                            uint32_t* actualRevision);

private:
    std::string name_;
    std::vector<std::unique_ptr<TraceSource>> sources_;
    std::vector<std::unique_ptr<TraceSource>> removed_;
    uint32_t traceRevision_ = host_names::kComponentTraceRevision;
};

}  // namespace kvhost
