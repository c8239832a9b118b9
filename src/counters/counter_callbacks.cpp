#include "counters/counter_callbacks.h"

#include "expression/expression_parser.h"
#include "expression/field_bindings.h"
#include "time/time_source.h"
#include "util/bind_trace_callback.h"
#include "util/guarded_call.h"

namespace vantric {

CounterCallbacks::CounterCallbacks(std::ostream& errors) : errors_(errors) {}
CounterCallbacks::~CounterCallbacks() = default;

void CounterCallbacks::Add(CounterRecord record) {
    if (record.component.empty()) record.component = kEveryComponent;
    RecordList& list = records_[record.component];
    list.push_back(std::make_unique<CounterRecord>(std::move(record)));
}

bool CounterCallbacks::Register(ZVT::ComponentTraceInterface* componentTrace, uint32_t core,
                                const std::string& componentName, CaptureWriter* writer,
                                TimeSource* timeSource) {
    registered_ = true;
    if (componentTrace == nullptr) return true;
    bool result = true;
    // A component that happens to carry one of the reserved names must not
    // subscribe "*" twice, nor anything filed under the software counters'.
    if (componentName != kEveryComponent && componentName != kSoftwareComponent) {
        result = RegisterList(componentName, componentTrace, core, writer, timeSource);
    }
    return RegisterList(kEveryComponent, componentTrace, core, writer, timeSource) && result;
}

bool CounterCallbacks::RegisterList(const std::string& component,
                                    ZVT::ComponentTraceInterface* componentTrace, uint32_t core,
                                    CaptureWriter* writer, TimeSource* timeSource) {
    auto list = records_.find(component);
    if (list == records_.end()) return true;
    bool result = true;
    for (const std::unique_ptr<CounterRecord>& record : list->second) {
        result = Subscribe(*record, componentTrace, core, writer, timeSource) && result;
    }
    return result;
}

bool CounterCallbacks::Subscribe(CounterRecord& record,
                                 ZVT::ComponentTraceInterface* componentTrace, uint32_t core,
                                 CaptureWriter* writer, TimeSource* timeSource) {
    if (componentTrace->FindTraceSource(record.sourceName.c_str()) == nullptr) {
        return true;  // this component does not feed the counter
    }
    if (writer == nullptr || timeSource == nullptr) {
        errors_ << "Counter callback registration failed: " << record.sourceName
                << " : no capture writer or time source\n";
        return false;
    }

    contexts_.push_back(
        std::make_unique<CounterCallbackContext>(*writer, record, *timeSource, core));
    CounterCallbackContext& context = *contexts_.back();
    bool result = true;
    if (!record.condition.empty()) {
        // A text that does not parse leaves no condition: every event counts.
        ExpressionParserN::ExpressionParserT parser(context.variables);
        context.condition = parser.Parse(record.condition);
        if (parser.NestedTooDeeply()) {
            errors_ << "Cannot apply condition on the counter: " << record.sourceName
                    << " : condition nested too deeply (more than "
                    << ExpressionParserN::ExpressionParserT::kMaxDepth << " levels)\n";
            result = false;
        }
    }

    std::vector<FieldBindingRequest> requests =
        ExpressionParserN::CollectFieldBindings(context.condition.Root());
    requests.push_back({"LOCAL_TIME", &context.localTime.index, /*optional=*/true, nullptr});
    ZVT::EventClass* eventClass = nullptr;
    if (!BindTraceCallback(componentTrace, record.sourceName.c_str(), requests, &context,
                           &GuardedCall::Event<&CounterCallbacks::OnCounterEvent>, context.messages, &eventClass)) {
        // The context stays (nothing refers to it) until Clear.
        errors_ << "Counter callback registration failed: " << record.sourceName << " : "
                << context.messages.str() << '\n';
        return false;
    }

    if (context.condition && !context.condition.Validate()) {
        errors_ << "Cannot apply \"" << context.condition.Root()->ToString()
                << "\" condition on the counter\n";
        context.condition.Reset();  // from now on every event of the source counts
        result = false;
    }
    // The class is fixed now, and with it where every field lies and how
    // wide and signed LOCAL_TIME is.
    context.localTime.resolve(eventClass);
    if (context.condition) {
        context.compiled = ExpressionParserN::CompiledCondition::Compile(
            *context.condition.Root(), eventClass);
    }
    return result;
}

void CounterCallbacks::OnCounterEvent(void* userData, ZVT::EventClass* eventClass,
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
    context.WriteValue(time, context.core);
}

void CounterCallbacks::Clear() {
    contexts_.clear();
    records_.clear();
}

}  // namespace vantric
