// User counters at run time: subscribing their callbacks to the trace sources
// of each component, counting events, and handing the descriptions over at
// release.
#include <memory>
#include <vector>

#include "capture/capture_writer.h"
#include "time/time_source.h"
#include "counters/counter_set.h"
#include "counters/counter_value.h"
#include "expression/expression_parser.h"
#include "expression/field_bindings.h"
#include "util/bind_trace_callback.h"

namespace vantric {

void WriteCounterValue(CounterCallbackContext& context, uint64_t time, uint32_t core) {
    CounterRecord& record = *context.record;
    // A capture that failed to open has no files to write into; counting
    // goes on so the interval keeps its phase.
    if (context.writer->isOpen()) {
        context.writer->writeCounterValue(core, time, record.key, record.count);
    }
    record.count = 0;
}

bool CounterSet::RegisterCountersForComponent(ZVT::ComponentTraceInterface* componentTrace,
                                              uint32_t core, const std::string& componentName) {
    registered_ = true;
    if (componentTrace == nullptr) return true;
    bool result = true;
    // A component that happens to carry one of the reserved names must not
    // subscribe "*" twice, nor the software counters at all.
    if (componentName != kEveryComponent && componentName != kSoftwareComponent) {
        result = RegisterList(componentName, componentTrace, core);
    }
    return RegisterList(kEveryComponent, componentTrace, core) && result;
}

bool CounterSet::RegisterList(const std::string& component,
                              ZVT::ComponentTraceInterface* componentTrace, uint32_t core) {
    bool result = true;
    for (const std::unique_ptr<CounterRecord>& record : records_[component]) {
        result = RegisterCounterCallback(*record, componentTrace, core) && result;
    }
    return result;
}

bool CounterSet::RegisterCounterCallback(CounterRecord& record,
                                         ZVT::ComponentTraceInterface* componentTrace,
                                         uint32_t core) {
    if (componentTrace == nullptr ||
        componentTrace->FindTraceSource(record.sourceName.c_str()) == nullptr) {
        return true;  // this component does not feed the counter
    }
    if (writer_ == nullptr || timeSource_ == nullptr) {
        errorText_ << "Counter callback registration failed: " << record.sourceName
                   << " : no capture writer or time source\n";
        return false;
    }

    contexts_.push_back(
        std::make_unique<CounterCallbackContext>(*writer_, record, *timeSource_, core));
    CounterCallbackContext& context = *contexts_.back();
    if (!record.condition.empty()) {
        // A text that does not parse leaves no condition: every event counts.
        ExpressionParserN::ExpressionParserT parser(context.variables);
        context.condition = parser.Parse(record.condition);
    }

    std::vector<FieldBindingRequest> requests =
        ExpressionParserN::CollectFieldBindings(context.condition.Root());
    requests.push_back({"LOCAL_TIME", &context.localTime.index, /*optional=*/true, nullptr});
    ZVT::EventClass* eventClass = nullptr;
    if (!BindTraceCallback(componentTrace, record.sourceName.c_str(), requests, &context,
                           &CounterSet::OnCounterEvent, context.messages, &eventClass)) {
        // The context stays (nothing refers to it) until release.
        errorText_ << "Counter callback registration failed: " << record.sourceName << " : "
                   << context.messages.str() << '\n';
        return false;
    }

    bool result = true;
    if (context.condition && !context.condition.Validate()) {
        errorText_ << "Cannot apply \"" << context.condition.Root()->ToString()
                   << "\" condition on the counter\n";
        context.condition.Reset();  // from now on every event of the source counts
        result = false;
    }
    // The class is fixed now, and with it where every field lies and how
    // wide and signed LOCAL_TIME is.
    context.localTime.resolve(eventClass);
    if (context.condition) {
        context.compiled = CompiledCondition::Compile(*context.condition.Root(), eventClass);
    }
    return result;
}

void CounterSet::OnCounterEvent(void* userData, ZVT::EventClass* eventClass,
                                const uint8_t* eventRecord) {
    CounterCallbackContext& context = *static_cast<CounterCallbackContext*>(userData);
    const ExpressionParserN::ExpressionTreeNodeT* condition = context.condition.Root();
    if (condition != nullptr) {
        const bool holds = context.compiled.valid() ? context.compiled.Evaluate(eventRecord)
                                                    : condition->GetBool(eventClass, eventRecord);
        if (!holds) return;
    }

    // The offset is a signed tick count; adding it as unsigned wraps to the
    // same result.
    const uint64_t time = context.timeSource->now(context.localTime.read(eventRecord));
    CounterRecord& record = *context.record;
    if (time < record.startTime || time >= record.endTime) return;
    if (++record.count < record.interval) return;
    WriteCounterValue(context, time, context.core);
}

void CounterSet::ReleaseCounters() {
    if (writer_ != nullptr && writer_->isOpen()) {
        const uint64_t endTime = timeSource_ != nullptr ? timeSource_->lastSimulatedTime() : 0;
        writer_->writeDescriptions(0, endTime, descriptions_);
    }
    contexts_.clear();
    records_.clear();
}

}  // namespace vantric
