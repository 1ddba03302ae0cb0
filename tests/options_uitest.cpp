#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "base/module.h"
#include "dialogdriver.h"
#include "dlgutil/help.h"
#include "model/portconfig.h"
#include "options/loggingoptions.h"
#include "options/printeroptions.h"
#include "resource.h"

namespace {

void Click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }

class OptionsTest : public ::testing::Test {
protected:
  void TearDown() override { CloseHelp(); }

  // The one box shown since the last check, its message and prompt, and the field that has the focus.
  void ExpectRefusal(HWND dialog, const std::string& message, const std::string& prompt, int focus) {
    EXPECT_TRUE(boxes.boxes().size() == 1 && boxes.boxes()[0].text == message + "\n\n" + prompt &&
                FocusedControlId(dialog) == focus) << message;
    boxes.Clear();
  }

  std::unique_ptr<PortConfig, PortConfig* (*)(PortConfig*)> record{CreatePortConfig(ModuleInstance, nullptr),
                                                                   DestroyPortConfig};
  MessageBoxRecorder boxes;
};

// A refused tray leaves its set flag and the number read in the record; OK takes the banner and data type.
TEST_F(OptionsTest, TraysShowTheRecordRefusalsNameTheFieldAndOkTakesTheChoices) {
  record->setBannerTray = record->setOutputTray = record->psDataType = record->pclDataType = 1;
  record->bannerTrayNumber = 3;
  record->outputTrayNumber = 4;
  ModelessDialog options(IDD_PRINTER_OPTIONS, PrinterOptionsProc, record.get());
  HWND dialog = options.get();
  EXPECT_TRUE(IsControlChecked(dialog, IDC_OPT_SET_OUTPUT_TRAY) && ControlText(dialog, IDC_OPT_OUTPUT_TRAY) == "4");

  Click(dialog, IDC_OPT_SET_INPUT_TRAY);
  Click(dialog, IDC_OPT_BANNER);
  SetText(dialog, IDC_OPT_BANNER_TRAY, "default");
  Click(dialog, IDOK);
  ExpectRefusal(dialog, "Invalid Input Tray Number", "Please enter a valid input tray number for the banner page.",
                IDC_OPT_BANNER_TRAY);
  SetText(dialog, IDC_OPT_BANNER_TRAY, "-5");  // passes
  SetText(dialog, IDC_OPT_OUTPUT_TRAY, "top");
  Click(dialog, IDOK);
  ExpectRefusal(dialog, "Invalid Output Tray Number", "Please enter a valid output tray number.", IDC_OPT_OUTPUT_TRAY);
  EXPECT_TRUE(record->bannerTrayNumber == static_cast<DWORD>(-5) && record->outputTrayNumber == 0);

  Click(dialog, IDC_OPT_SET_OUTPUT_TRAY);
  CheckDlgButton(dialog, IDC_OPT_POSTSCRIPT, BST_UNCHECKED);  // the dialog never enables it, OK still reads it
  Click(dialog, IDOK);
  EXPECT_TRUE(record->banner && record->setBannerTray && !record->setOutputTray);
  EXPECT_TRUE(record->setInputTray == 1 && record->inputTrayNumber == 1 && !record->psDataType && !record->pclDataType);
}

TEST_F(OptionsTest, ReadOnlyRecordDisablesEveryChoiceButASetTrayNumber) {
  record->readOnly = record->banner = record->setInputTray = record->trace = 1;
  ModelessDialog options(IDD_PRINTER_OPTIONS, PrinterOptionsProc, record.get());
  for (int id :
       {IDC_OPT_BANNER, IDC_OPT_SET_BANNER_TRAY, IDC_OPT_SET_INPUT_TRAY, IDC_OPT_SET_OUTPUT_TRAY, IDC_OPT_DATA_TYPE})
    EXPECT_FALSE(IsControlEnabled(options.get(), id)) << id;
  EXPECT_TRUE(IsControlEnabled(options.get(), IDC_OPT_INPUT_TRAY));
  ModelessDialog logging(IDD_LOGGING_OPTIONS, LoggingOptionsProc, record.get());
  for (int id : {IDC_LOG_TRACE, IDC_LOG_BUBBLE, IDC_LOG_LEVEL, IDC_LOG_LEVEL_LABEL, IDC_LOG_TRACE_FILE})
    EXPECT_FALSE(IsControlEnabled(logging.get(), id)) << id;
}

// A refusal keeps what was read before it; the file is checked only with tracing; a change asks for a restart.
TEST_F(OptionsTest, LoggingRefusalsKeepOnlyWhatCameBeforeAndAChangeAsksForARestart) {
  record->loggingLevel = 2;
  record->bubble = 1;
  CopyBounded(record->traceFile, "C:\\old.txt", sizeof record->traceFile);
  ModelessDialog logging(IDD_LOGGING_OPTIONS, LoggingOptionsProc, record.get());
  HWND dialog = logging.get();
  EXPECT_EQ("2 C:\\old.txt", ControlText(dialog, IDC_LOG_LEVEL) + " " + ControlText(dialog, IDC_LOG_TRACE_FILE));
  Click(dialog, IDC_LOG_BUBBLE);
  for (auto [text, message] : {std::pair{"4", "The log level must be 0, 1, 2, or 3."}, {"x", "Invalid Log Level"}}) {
    SetText(dialog, IDC_LOG_LEVEL, text);
    Click(dialog, IDOK);
    ExpectRefusal(dialog, message, "Please enter a valid log level.", IDC_LOG_LEVEL);
    EXPECT_EQ(1u, record->bubble);
  }
  SetText(dialog, IDC_LOG_LEVEL, "3");
  Click(dialog, IDC_LOG_TRACE);
  SetText(dialog, IDC_LOG_TRACE_FILE, "C:\\no such directory\\trace.txt");
  Click(dialog, IDOK);
  ExpectRefusal(dialog, "The system cannot open the trace file.", "Please enter a valid file name.",
                IDC_LOG_TRACE_FILE);
  EXPECT_TRUE(record->loggingLevel == 3 && record->trace == 1);
  EXPECT_STREQ("C:\\old.txt", record->traceFile);
  Click(dialog, IDC_LOG_TRACE);
  SetText(dialog, IDC_LOG_TRACE_FILE, "C:\\no such directory\\other.txt");
  Click(dialog, IDOK);
  EXPECT_EQ(0u, record->trace + record->bubble);
  EXPECT_STREQ("C:\\no such directory\\other.txt", record->traceFile);
  ASSERT_EQ(1u, boxes.boxes().size());
  EXPECT_EQ("The changes you have made will not take effect until the computer is restarted.", boxes.boxes()[0].text);
}

// Clicks that may open a modal dialog are posted, so that the next step runs in that dialog.
TEST_F(OptionsTest, HintsExpandHelpOpensItsTopicAndTheLogoNeedsShift) {
  std::optional<ShiftKeyDown> shift;
  DialogScript script;
  script
      .Then([](HWND dialog) {
        SIZE collapsed = ClientSize(dialog);
        Click(dialog, IDC_OPT_HINTS);
        EXPECT_EQ(collapsed.cx * 295 / 250, ClientSize(dialog).cx);
        PostClick(dialog, IDC_LOGO);
      })
      .Then([&](HWND dialog) {
        EXPECT_EQ(1u, OpenDialogs().size());
        shift.emplace();
        PostClick(dialog, IDC_LOGO);
      })
      .Then([&](HWND brag) {
        shift.reset();
        ASSERT_EQ(2u, OpenDialogs().size());
        PostClick(brag, IDC_BRAG_PICTURE);
      })
      .Then([](HWND dialog) {
        Click(dialog, IDC_HELP_BUTTON);
        EXPECT_EQ("Printer options", ControlText(FindWindowA(kHelpWindowClass, nullptr), IDC_HELP_TITLE));
        Click(dialog, IDCANCEL);
      });
  EXPECT_EQ(1, script.Run([&] { return RunPrinterOptionsDialog(nullptr, record.get()); }));
  EXPECT_EQ(1u, record->helpUsed);
}

}  // namespace
