// The library's only export. Loading the module builds the parameter table,
// constructs the factory and joins the process-wide singleton registry, so
// the export itself allocates nothing.
#include "boundary/parameter_table.h"
#include "plugin/vantric_plugin_factory.h"
#include "util/module_lifetime.h"

namespace {

struct ModuleLoad {
    ModuleLoad() {
        vantric::GetParameterTable();
        VantricPluginFactory::Instance();
    }
};

const ModuleLoad moduleLoad;
const vantric::ModuleLifetime moduleLifetime;

}  // namespace

extern "C" __attribute__((visibility("default"))) plexa::CAInterface* GetCAInterface() {
    return &VantricPluginFactory::Instance();
}
