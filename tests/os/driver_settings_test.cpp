#include <gtest/gtest.h>

#include "json/json_value.h"
#include "os/driver_settings.h"

namespace vantric {
namespace {

TEST(SettingsMember, PresentAbsentAndNotAnObject) {
    vq::JSONValue settings = vq::JSONValue::makeObject();
    settings["app-name"] = vq::JSONValue("demo");
    const vq::JSONValue& view = settings;

    EXPECT_EQ(SettingsMember(view, "app-name").asString(), "demo");
    const vq::JSONValue& absent = SettingsMember(view, "app-proc-id");
    EXPECT_EQ(absent.type(), vq::JSONValue::TypeNull);
    try {
        absent.asUInt32();
        ADD_FAILURE() << "no exception";
    } catch (const vq::JSONValue::SerializationException& e) {
        EXPECT_STREQ(e.what(), "tried to access value of type null as integer");
    }
    EXPECT_EQ(settings.members().size(), 1u);  // reading did not add the key

    EXPECT_THROW(SettingsMember(vq::JSONValue::makeArray(), "app-name"),
                 vq::JSONValue::WrongType);
}

}  // namespace
}  // namespace vantric
