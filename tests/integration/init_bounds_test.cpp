// init at the edges of what the host can hand over: port names of 255 and
// 256 characters and a port that does not exist, line speeds outside the
// list, 32 and 33 option lines, 64 and 65 arguments, controller IDs around
// the one controller the device has.
#include <functional>
#include <map>

#include "driver_fixture.h"
#include "fault_lines.h"
#include "tests/support/line_fields.h"
#include "tests/support/port_names.h"
#include "tests/support/system_text.h"

namespace testing_support {
namespace {

class InitBounds : public DriverTest {
protected:
    // As createAndInit, with a chance to change the record before init
    // sees it (raw counts the kit would not write).
    std::int32_t createAndInitEdited(const std::vector<OptionText>& options,
                                     const std::function<void(hostkit::Config&)>& edit) {
        config = std::make_unique<hostkit::Config>("pallador0");
        std::uint32_t lineNumber = 10;
        EXPECT_TRUE(config->add(lineNumber++, "port", {sim->portName()}));
        for (const OptionText& option : options) {
            EXPECT_TRUE(config->add(lineNumber++, option.keyword, option.arguments));
        }
        edit(*config);
        initRecord = std::make_unique<hostkit::InitRecord>(nullptr, controllers.get());
        std::int32_t result = -1;
        initOutput = captureOutput([&] {
            device = plugin->createDev(config->get(), &hostLog);
            result = device->init(initRecord->get());
        });
        return result;
    }

    void deleteDevice() {
        captureOutput([&] {
            device->stop();
            plugin->deleteDev(device);
        });
        device = nullptr;
    }

    std::string lastLine(const std::string& output) const {
        const std::vector<std::string> lines = outputLines(output);
        return lines.empty() ? std::string() : lines.back();
    }
};

std::vector<std::string> repeated(std::size_t count, const std::string& text) {
    return std::vector<std::string>(count, text);
}

// --- Port names -----------------------------------------------------------

TEST_F(InitBounds, PortNameOf256CharactersIsRefusedAfterTheReport) {
    const std::string name = missingPortNameOfLength(256);
    ASSERT_EQ(createAndInit({{"port", {name}}}), -1) << initOutput;
    EXPECT_TRUE(hasLine(initOutput, "HOST: INFO: SERIAL PORT           : " + name)) << initOutput;
    EXPECT_EQ(problemLines(initOutput),
              std::vector<std::string>{"HOST: ERROR: CRS232H: Port name is too long. 255 < 256"});
    EXPECT_EQ(lastLine(initOutput), "HOST: ERROR: CRS232H: Port name is too long. 255 < 256");
}

TEST_F(InitBounds, PortNameOf255CharactersGoesToTheSystem) {
    const std::string name = missingPortNameOfLength(255);
    const std::string text = openFailureText(name);
    ASSERT_NE(text, "");
    ASSERT_EQ(createAndInit({{"port", {name}}}), -1) << initOutput;
    EXPECT_TRUE(hasLine(initOutput, "HOST: INFO: SERIAL PORT           : " + name));
    EXPECT_EQ(problemLines(initOutput),
              std::vector<std::string>{"HOST: ERROR: CRS232H: Opening port " + name + ": " + text});
}

TEST_F(InitBounds, MissingPortFailsInitAndACallMadeAnywayTouchesNoLine) {
    const std::string name = missingPortName();
    const std::string text = openFailureText(name);
    ASSERT_NE(text, "");
    ASSERT_EQ(createAndInit({{"port", {name}}}), -1) << initOutput;
    EXPECT_EQ(problemLines(initOutput),
              std::vector<std::string>{"HOST: ERROR: CRS232H: Opening port " + name + ": " + text});
    EXPECT_EQ(lastLine(initOutput), "HOST: ERROR: CRS232H: Opening port " + name + ": " + text);

    // A host that goes on regardless gets failures, not another line.
    const std::string closed = closedLineText();
    EXPECT_EQ(receive(), -1);
    EXPECT_EQ(problemLines(lastOutput),
              (std::vector<std::string>{
                  "HOST: ERROR: CRS232H: Reading from " + name + ": " + closed,
                  "HOST: ERROR: CRS232H: Reading from " + name + ": " + closed,
                  "HOST: ERROR: CRS232H: Writing to " + name + ": " + closed,
                  "HOST: ERROR: CPallador: Sending error occured.",
              }))
        << lastOutput;
    EXPECT_TRUE(masksClear());
    EXPECT_EQ(toHex(sim->received()), "");
}

// --- Line speeds ----------------------------------------------------------

TEST_F(InitBounds, LineSpeedsOutsideTheListAreRefusedAndTheLineKeepsItsSpeed) {
    const std::string speedBefore = sim->attrs()["baud"];
    // The argument is read as a decimal integer, saturating at the 32-bit
    // range: "0x2580" is 0, not 9600.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"0", "0"},
        {"-9600", "-9600"},
        {"14400", "14400"},
        {"2147483647", "2147483647"},
        {"99999999999", "2147483647"},
        {"-99999999999", "-2147483648"},
        {"0x2580", "0"},
    };
    for (const auto& [argument, value] : cases) {
        SCOPED_TRACE("baud " + argument);
        ASSERT_EQ(createAndInit({{"baud", {argument}}}), 1) << initOutput;
        EXPECT_EQ(
            problemLines(initOutput),
            std::vector<std::string>{"HOST: ERROR: CRS232H: Could not set the baud rate " + value});
        EXPECT_TRUE(hasLine(initOutput, "HOST: INFO: BAUD RATE             : " + value));
        std::map<std::string, std::string> attrs = sim->attrs();
        EXPECT_EQ(attrs["baud"], speedBefore);
        EXPECT_EQ(attrs["crtscts"], kCrtsctsUnderDeviceSettings)
            << "the other settings are applied all the same";
        EXPECT_EQ(attrs["raw"], "1");
        deleteDevice();
    }
}

// --- Option lines ---------------------------------------------------------

TEST_F(InitBounds, ThirtyTwoOptionLinesAreAllTaken) {
    // The port line and 31 more; the last line speed wins.
    std::vector<OptionText> options;
    for (int i = 0; i < 15; ++i) {
        options.push_back({"baud", {"4800"}});
        options.push_back({"ValuatorScale", {"1", "1", "all"}});
    }
    options.push_back({"BAUDRATE", {"19200"}});
    ASSERT_EQ(createAndInit(options), 1) << initOutput;
    EXPECT_EQ(config->lineCount(), 32u);
    EXPECT_EQ(config->usedFlags(), std::string(32, '1'));
    EXPECT_EQ(problemLines(initOutput), std::vector<std::string>{});
    EXPECT_TRUE(hasLine(initOutput, "HOST: INFO: BAUD RATE             : 19200"));
    EXPECT_EQ(sim->attrs()["baud"], "19200");
}

TEST_F(InitBounds, UnknownKeywordInTheThirtySecondLineIsReported) {
    std::vector<OptionText> options(30, OptionText{"baud", {"9600"}});
    options.push_back({"baudrat", {"9600"}});
    ASSERT_EQ(createAndInit(options), -1) << initOutput;
    EXPECT_EQ(problemLines(initOutput),
              std::vector<std::string>{
                  "HOST: ERROR: CConfigH: Unknown option \"baudrat\" found at line 41."});
    EXPECT_EQ(config->usedFlags(), std::string(31, '1') + "0");
}

TEST_F(InitBounds, ThirtyThirdLineIsNeitherAddedNorRead) {
    std::vector<OptionText> options(31, OptionText{"baud", {"9600"}});
    ASSERT_EQ(createAndInitEdited(options,
                                  [](hostkit::Config& record) {
                                      EXPECT_FALSE(record.add(42, "baud", {"19200"}));
                                      // A host that counts one line too many.
                                      record.setLineCount(33);
                                  }),
              1)
        << initOutput;
    EXPECT_EQ(problemLines(initOutput), std::vector<std::string>{});
    EXPECT_EQ(config->usedFlags(), std::string(32, '1'));
    EXPECT_TRUE(hasLine(initOutput, "HOST: INFO: BAUD RATE             : 9600"));
}

TEST_F(InitBounds, SixtyFourArgumentsAreReadAndASixtyFifthNever) {
    // buttonorder 1 and 63 list positions: the twelve buttons reversed,
    // then nothing.
    std::vector<std::string> reversed = {"1"};
    for (int b = 12; b >= 1; --b) {
        reversed.push_back(std::to_string(b));
    }
    reversed.resize(64, "0");
    const std::string reversedReport =
        "HOST: INFO:                       : 1->12 2->11 3->10 4->9 5->8 6->7 7->6 8->5 9->4 "
        "10->3 11->2 12->1";
    ASSERT_EQ(createAndInit({{"buttonorder", reversed}}), 1) << initOutput;
    EXPECT_TRUE(hasLine(initOutput, reversedReport)) << initOutput;
    deleteDevice();

    // The kit refuses a 65th argument; a host that counts 65 anyway gets
    // the 64 that are there.
    ASSERT_EQ(createAndInitEdited({{"buttonorder", reversed}},
                                  [](hostkit::Config& record) {
                                      EXPECT_FALSE(record.add(12, "buttonorder",
                                                              std::vector<std::string>(65, "0")));
                                      record.setArgCount(1, 65);
                                  }),
              1)
        << initOutput;
    EXPECT_TRUE(hasLine(initOutput, reversedReport)) << initOutput;
    deleteDevice();

    // The 64th argument is read: an ID there above the limit is refused.
    std::vector<std::string> lastTooHigh(64, "0");
    lastTooHigh[0] = "1";
    lastTooHigh[63] = "7";
    ASSERT_EQ(createAndInit({{"valuatororder", lastTooHigh}}), -1) << initOutput;
    EXPECT_EQ(
        problemLines(initOutput),
        std::vector<std::string>{"HOST: ERROR: Invalid ID found in Order option at line 11."});
    deleteDevice();

    // Lines that take one argument, or at most nine.
    const std::vector<std::string> tooMany = {
        "HOST: ERROR: CPallador: Too many args found for SerialPort at line 11.",
        "HOST: ERROR: CPallador: Too many args found for BaudRate at line 12.",
    };
    ASSERT_EQ(
        createAndInit({{"port", repeated(64, sim->portName())}, {"baud", repeated(64, "9600")}}),
        -1)
        << initOutput;
    EXPECT_EQ(problemLines(initOutput), tooMany);
    deleteDevice();
    ASSERT_EQ(createAndInitEdited(
                  {{"port", repeated(64, sim->portName())}, {"baud", repeated(64, "9600")}},
                  [](hostkit::Config& record) {
                      record.setArgCount(1, 65);
                      record.setArgCount(2, 65);
                  }),
              -1)
        << initOutput;
    EXPECT_EQ(problemLines(initOutput), tooMany);
    deleteDevice();
    std::vector<std::string> emulation = {"1", "[0,0,0,0,0,0]", "1", "2", "3", "4", "5", "6", "12"};
    emulation.resize(64, "0");
    ASSERT_EQ(createAndInit({{"emulatetracker", emulation}}), -1) << initOutput;
    EXPECT_EQ(problemLines(initOutput),
              std::vector<std::string>{
                  "HOST: ERROR: Too many args found for EmulateTracker at line 11."});
}

TEST_F(InitBounds, ControllerIdsOtherThanOneAreRefusedByEveryOption) {
    std::vector<OptionText> options;
    std::vector<std::string> expected;
    std::uint32_t lineNumber = 11;
    for (const std::string id : {"0", "32", "33", "-1", "0x20"}) {
        options.push_back({"valuatororder", {id, "1"}});
        expected.push_back("HOST: ERROR: Invalid controller ID found for Order option at line " +
                           std::to_string(lineNumber++) + ".");
        options.push_back({"buttonorder", {id, "1"}});
        expected.push_back("HOST: ERROR: Invalid controller ID found for Order option at line " +
                           std::to_string(lineNumber++) + ".");
        options.push_back({"valuatorscale", {id, "2", "1"}});
        expected.push_back(
            "HOST: ERROR: Invalid controller ID found for ValuatorScale option at line " +
            std::to_string(lineNumber++) + ".");
        options.push_back({"emulatetracker", {id, "[0,0,0,0,0,0]", "1", "2", "3", "4", "5", "6"}});
        expected.push_back(
            "HOST: ERROR: Invalid controller ID found for EmulateTracker option at line " +
            std::to_string(lineNumber++) + ".");
    }
    ASSERT_EQ(createAndInit(options), -1) << initOutput;
    EXPECT_EQ(problemLines(initOutput), expected);
    EXPECT_FALSE(hasLine(initOutput, "HOST: INFO: DEVICE TYPE           : Pallador(tm)"))
        << "init stops before its report";
    EXPECT_EQ(config->usedFlags(), "1" + std::string(20, '0'));
    EXPECT_EQ(controllers->count(), 0u) << "nothing reserved";
}

TEST_F(InitBounds, ControllerIdOneInAnyNotationIsAccepted) {
    ASSERT_EQ(
        createAndInit({{"valuatorscale", {"0x1", "2", "1"}},
                       {"valuatororder", {"01", "1", "2", "3", "4", "5", "6"}},
                       {"buttonorder", {"+1", "1", "2"}},
                       {"emulatetracker", {" 1", "[0,0,0,0,0,0]", "1", "2", "3", "0", "0", "0"}}},
                      true),
        1)
        << initOutput;
    EXPECT_EQ(problemLines(initOutput), std::vector<std::string>{});
    EXPECT_EQ(config->usedFlags(), "11111");
    std::int32_t mode = 0;
    captureOutput([&] { mode = device->configure(); });
    EXPECT_EQ(mode, 1) << "with tracker emulation";
}

}  // namespace
}  // namespace testing_support
