#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "base/module.h"
#include "dialogdriver.h"
#include "dlgutil/help.h"
#include "model/portconfig.h"
#include "options/aboutbox.h"
#include "options/loggingoptions.h"
#include "options/printeroptions.h"
#include "resource.h"

namespace {

constexpr char kRestartNotice[] = "The changes you have made will not take effect until the computer is restarted.";

// A fresh working record, released at the end.
class Record {
public:
  Record() : record_(CreatePortConfig(ModuleInstance, nullptr)) {}
  ~Record() { DestroyPortConfig(record_); }
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;

  PortConfig* operator->() const { return record_; }
  PortConfig* get() const { return record_; }

private:
  PortConfig* record_;
};

std::string ErrorText(const char* message, const char* prompt) {
  return std::string(message) + "\n\n" + prompt;
}

class OptionsTest : public ::testing::Test {
protected:
  void TearDown() override { CloseHelp(); }

  INT_PTR RunPrinterOptions(DialogScript& script) {
    return script.Run([&] { return RunPrinterOptionsDialog(nullptr, record.get()); });
  }
  INT_PTR RunLogging(DialogScript& script) {
    return script.Run([&] { return RunLoggingOptionsDialog(nullptr, record.get()); });
  }

  Record record;
  MessageBoxRecorder boxes;
};

// ---- printer options

TEST_F(OptionsTest, BannerTrayOfAPortWithoutBannerIsClearedAndStaysOff) {
  record->banner = 0;
  record->setBannerTray = 1;
  record->bannerTrayNumber = 2;
  DialogScript script;
  script.Then([](HWND dialog) {
    EXPECT_FALSE(IsControlChecked(dialog, IDC_OPT_SET_BANNER_TRAY));
    EXPECT_FALSE(IsControlEnabled(dialog, IDC_OPT_SET_BANNER_TRAY));
    EXPECT_EQ("", ControlText(dialog, IDC_OPT_BANNER_TRAY));
    EXPECT_FALSE(IsControlEnabled(dialog, IDC_OPT_BANNER_TRAY));
    PostClick(dialog, IDOK);
  });
  EXPECT_EQ(1, RunPrinterOptions(script));
  EXPECT_EQ(0u, record->setBannerTray);
  EXPECT_EQ(2u, record->bannerTrayNumber);
}

TEST_F(OptionsTest, UnsetTraysShowDefaultAndCheckingShowsTheRecordsNumber) {
  record->setOutputTray = 1;
  record->outputTrayNumber = 4;
  DialogScript script;
  script
      .Then([](HWND dialog) {
        EXPECT_EQ("default", ControlText(dialog, IDC_OPT_INPUT_TRAY));
        EXPECT_FALSE(IsControlEnabled(dialog, IDC_OPT_INPUT_TRAY));
        EXPECT_EQ("4", ControlText(dialog, IDC_OPT_OUTPUT_TRAY));
        EXPECT_TRUE(IsControlEnabled(dialog, IDC_OPT_OUTPUT_TRAY));
        PostClick(dialog, IDC_OPT_SET_INPUT_TRAY);
      })
      .Then([](HWND dialog) {
        EXPECT_EQ("1", ControlText(dialog, IDC_OPT_INPUT_TRAY));  // a tray never set holds 1
        EXPECT_TRUE(IsControlEnabled(dialog, IDC_OPT_INPUT_TRAY));
        SetText(dialog, IDC_OPT_OUTPUT_TRAY, "9");
        PostClick(dialog, IDC_OPT_SET_OUTPUT_TRAY);
      })
      .Then([](HWND dialog) {
        EXPECT_EQ("default", ControlText(dialog, IDC_OPT_OUTPUT_TRAY));
        PostClick(dialog, IDC_OPT_SET_OUTPUT_TRAY);
      })
      .Then([](HWND dialog) {
        EXPECT_EQ("4", ControlText(dialog, IDC_OPT_OUTPUT_TRAY));  // the record's, not the typed 9
        PostClick(dialog, IDC_OPT_SET_OUTPUT_TRAY);
      })
      .Then([](HWND dialog) { PostClick(dialog, IDOK); });
  EXPECT_EQ(1, RunPrinterOptions(script));
  EXPECT_EQ(1u, record->setInputTray);
  EXPECT_EQ(1u, record->inputTrayNumber);
  EXPECT_EQ(0u, record->setOutputTray);
  EXPECT_EQ(4u, record->outputTrayNumber);
}

TEST_F(OptionsTest, BannerBoxBringsBackTheStoredBannerTray) {
  record->banner = 1;
  record->setBannerTray = 1;
  record->bannerTrayNumber = 3;
  DialogScript script;
  script
      .Then([](HWND dialog) {
        EXPECT_EQ("3", ControlText(dialog, IDC_OPT_BANNER_TRAY));
        PostClick(dialog, IDC_OPT_BANNER);
      })
      .Then([](HWND dialog) {
        EXPECT_FALSE(IsControlChecked(dialog, IDC_OPT_SET_BANNER_TRAY));
        EXPECT_FALSE(IsControlEnabled(dialog, IDC_OPT_SET_BANNER_TRAY));
        EXPECT_EQ("", ControlText(dialog, IDC_OPT_BANNER_TRAY));
        PostClick(dialog, IDC_OPT_BANNER);
      })
      .Then([](HWND dialog) {
        EXPECT_TRUE(IsControlChecked(dialog, IDC_OPT_SET_BANNER_TRAY));
        EXPECT_TRUE(IsControlEnabled(dialog, IDC_OPT_BANNER_TRAY));
        EXPECT_EQ("3", ControlText(dialog, IDC_OPT_BANNER_TRAY));
        PostClick(dialog, IDCANCEL);
      });
  EXPECT_EQ(1, RunPrinterOptions(script));
}

TEST_F(OptionsTest, DataTypeShowsPostScriptFirstAndIsNeverEditable) {
  record->psDataType = 1;
  record->pclDataType = 1;
  DialogScript script;
  script.Then([](HWND dialog) {
    EXPECT_TRUE(IsControlChecked(dialog, IDC_OPT_POSTSCRIPT));
    EXPECT_FALSE(IsControlChecked(dialog, IDC_OPT_PCL));
    EXPECT_FALSE(IsControlEnabled(dialog, IDC_OPT_POSTSCRIPT));
    EXPECT_FALSE(IsControlEnabled(dialog, IDC_OPT_PCL));
    PostClick(dialog, IDOK);
  });
  RunPrinterOptions(script);
  EXPECT_EQ(1u, record->psDataType);
  EXPECT_EQ(0u, record->pclDataType);

  record->psDataType = 0;
  record->pclDataType = 0;
  DialogScript neither;
  neither.Then([](HWND dialog) {
    EXPECT_FALSE(IsControlChecked(dialog, IDC_OPT_POSTSCRIPT));
    EXPECT_FALSE(IsControlChecked(dialog, IDC_OPT_PCL));
    PostClick(dialog, IDOK);
  });
  RunPrinterOptions(neither);
  EXPECT_EQ(0u, record->psDataType);
  EXPECT_EQ(0u, record->pclDataType);
}

TEST_F(OptionsTest, ReadOnlyDisablesTheChoicesButKeepsASetTrayNumber) {
  record->readOnly = 1;
  record->banner = 1;
  record->setInputTray = 1;
  record->inputTrayNumber = 2;
  DialogScript script;
  script.Then([](HWND dialog) {
    for (int id : {IDC_OPT_BANNER, IDC_OPT_SET_BANNER_TRAY, IDC_OPT_SET_INPUT_TRAY, IDC_OPT_SET_OUTPUT_TRAY,
                   IDC_OPT_DATA_TYPE}) {
      EXPECT_FALSE(IsControlEnabled(dialog, id)) << id;
    }
    EXPECT_TRUE(IsControlEnabled(dialog, IDC_OPT_INPUT_TRAY));
    SetText(dialog, IDC_OPT_INPUT_TRAY, "5");
    PostClick(dialog, IDOK);
  });
  RunPrinterOptions(script);
  EXPECT_EQ(5u, record->inputTrayNumber);
}

TEST_F(OptionsTest, NegativeTrayIsTakenAndLettersAreRefusedWithTheirPrompt) {
  record->setBannerTray = 1;
  record->banner = 1;
  record->setOutputTray = 1;
  DialogScript script;
  script
      .Then([](HWND dialog) {
        SetText(dialog, IDC_OPT_BANNER_TRAY, "-5");
        SetText(dialog, IDC_OPT_OUTPUT_TRAY, "top");
        PostClick(dialog, IDOK);
      })
      .Then([this](HWND dialog) {
        ASSERT_EQ(1u, boxes.boxes().size());
        EXPECT_EQ(ErrorText("Invalid Output Tray Number", "Please enter a valid output tray number."),
                  boxes.boxes()[0].text);
        EXPECT_EQ("Error Message", boxes.boxes()[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), boxes.boxes()[0].style & MB_ICONMASK);
        EXPECT_EQ(dialog, boxes.boxes()[0].owner);
        EXPECT_EQ(IDC_OPT_OUTPUT_TRAY, FocusedControlId(dialog));
        PostClick(dialog, IDCANCEL);
      });
  EXPECT_EQ(1, RunPrinterOptions(script));
  EXPECT_EQ(static_cast<DWORD>(-5), record->bannerTrayNumber);
  EXPECT_EQ(1u, record->setOutputTray);
  EXPECT_EQ(0u, record->outputTrayNumber);
}

TEST_F(OptionsTest, RefusedBannerTrayNamesTheBannerPage) {
  record->banner = 1;
  record->setBannerTray = 1;
  DialogScript script;
  script
      .Then([](HWND dialog) {
        SetText(dialog, IDC_OPT_BANNER_TRAY, "default");
        PostClick(dialog, IDOK);
      })
      .Then([this](HWND dialog) {
        ASSERT_EQ(1u, boxes.boxes().size());
        EXPECT_EQ(ErrorText("Invalid Input Tray Number", "Please enter a valid input tray number for the banner page."),
                  boxes.boxes()[0].text);
        EXPECT_EQ(IDC_OPT_BANNER_TRAY, FocusedControlId(dialog));
        PostClick(dialog, IDCANCEL);
      });
  RunPrinterOptions(script);
}

TEST_F(OptionsTest, HintsExpandOnceToTheirFullSize) {
  DialogScript script;
  SIZE collapsed = {};
  script
      .Then([&](HWND dialog) {
        collapsed = ClientSize(dialog);
        PostClick(dialog, IDC_OPT_HINTS);
      })
      .Then([&](HWND dialog) {
        SIZE expanded = ClientSize(dialog);
        EXPECT_EQ(collapsed.cx * 295 / 250, expanded.cx);
        EXPECT_EQ(collapsed.cy * 266 / 115, expanded.cy);
        EXPECT_FALSE(IsControlEnabled(dialog, IDC_OPT_HINTS));
        EXPECT_EQ(IDC_OPT_BANNER, FocusedControlId(dialog));
        PostClick(dialog, IDOK);
      });
  RunPrinterOptions(script);
}

TEST_F(OptionsTest, LogoOpensTheBragBoxOnlyWithShift) {
  std::optional<ShiftKeyDown> shift;
  DialogScript script;
  script
      .Then([](HWND dialog) { PostClick(dialog, IDC_LOGO); })
      .Then([&](HWND dialog) {
        EXPECT_EQ(1u, OpenDialogs().size());
        shift.emplace();
        PostClick(dialog, IDC_LOGO);
      })
      .Then([&](HWND brag) {
        shift.reset();
        ASSERT_EQ(2u, OpenDialogs().size());
        SIZE client = ClientSize(brag);
        EXPECT_EQ(300, client.cx);
        EXPECT_EQ(400, client.cy);
        PostClick(brag, IDC_BRAG_PICTURE);
      })
      .Then([](HWND dialog) {
        EXPECT_EQ(1u, OpenDialogs().size());
        PostClick(dialog, IDOK);
      });
  RunPrinterOptions(script);
}

TEST_F(OptionsTest, HelpAndLoggingOpenOverTheDialog) {
  DialogScript script;
  script
      .Then([](HWND dialog) { PostClick(dialog, IDC_HELP_BUTTON); })
      .Then([](HWND dialog) {
        HWND viewer = FindWindowA(kHelpWindowClass, nullptr);
        ASSERT_NE(nullptr, viewer);
        EXPECT_EQ("Printer options", ControlText(viewer, IDC_HELP_TITLE));
        PostClick(dialog, IDC_OPT_LOGGING);
      })
      .Then([](HWND logging) {
        EXPECT_EQ("Logging Options (Global to All Pressmark Printer Ports)", WindowText(logging));
        PostClick(logging, IDCANCEL);
      })
      .Then([](HWND dialog) { PostClick(dialog, IDCANCEL); });
  RunPrinterOptions(script);
  EXPECT_EQ(1u, record->helpUsed);
}

// ---- logging options

TEST_F(OptionsTest, LoggingShowsTheRecordAndTraceControlsTheFileName) {
  record->loggingLevel = 2;
  record->bubble = 1;
  CopyBounded(record->traceFile, "C:\\trace.txt", sizeof record->traceFile);
  ModelessDialog dialog(IDD_LOGGING_OPTIONS, LoggingOptionsProc, record.get());
  HWND window = dialog.get();
  EXPECT_EQ("2", ControlText(window, IDC_LOG_LEVEL));
  EXPECT_TRUE(IsControlChecked(window, IDC_LOG_BUBBLE));
  EXPECT_FALSE(IsControlChecked(window, IDC_LOG_TRACE));
  EXPECT_EQ("C:\\trace.txt", ControlText(window, IDC_LOG_TRACE_FILE));
  EXPECT_FALSE(IsControlEnabled(window, IDC_LOG_TRACE_FILE));
  EXPECT_FALSE(IsControlEnabled(window, IDC_LOG_TRACE_FILE_LABEL));
  SendDlgItemMessageA(window, IDC_LOG_TRACE, BM_CLICK, 0, 0);
  EXPECT_TRUE(IsControlEnabled(window, IDC_LOG_TRACE_FILE));
  EXPECT_TRUE(IsControlEnabled(window, IDC_LOG_TRACE_FILE_LABEL));
}

TEST_F(OptionsTest, LoggingOkWithoutChangesSaysNothing) {
  DialogScript script;
  script.Then([](HWND dialog) { PostClick(dialog, IDOK); });
  EXPECT_EQ(1, RunLogging(script));
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(OptionsTest, AnyChangeBringsTheRestartNoticeOnce) {
  DialogScript script;
  script.Then([](HWND dialog) {
    PostClick(dialog, IDC_LOG_BUBBLE);
    PostClick(dialog, IDOK);
  });
  RunLogging(script);
  ASSERT_EQ(1u, boxes.boxes().size());
  EXPECT_EQ(kRestartNotice, boxes.boxes()[0].text);
  EXPECT_EQ("Logging Options Message", boxes.boxes()[0].caption);
  EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), boxes.boxes()[0].style & MB_ICONMASK);
  EXPECT_EQ(1u, record->bubble);

  // Back and forth: each change is a change against the record as it stands.
  for (const char* level : {"2", "0"}) {
    boxes.Clear();
    DialogScript change;
    change.Then([level](HWND dialog) {
      SetText(dialog, IDC_LOG_LEVEL, level);
      PostClick(dialog, IDOK);
    });
    RunLogging(change);
    EXPECT_EQ(1u, boxes.boxes().size()) << level;
  }
  EXPECT_EQ(0u, record->loggingLevel);
}

TEST_F(OptionsTest, RefusedLevelsStoreNothing) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {{"4", "The log level must be 0, 1, 2, or 3."}, {"-1", "Invalid Log Level"}, {"x", "Invalid Log Level"}};
  record->loggingLevel = 1;
  for (const Case& c : cases) {
    boxes.Clear();
    DialogScript script;
    script
        .Then([&](HWND dialog) {
          SetText(dialog, IDC_LOG_LEVEL, c.text);
          PostClick(dialog, IDC_LOG_BUBBLE);
          PostClick(dialog, IDOK);
        })
        .Then([&](HWND dialog) {
          ASSERT_EQ(1u, boxes.boxes().size()) << c.text;
          EXPECT_EQ(ErrorText(c.message, "Please enter a valid log level."), boxes.boxes()[0].text);
          EXPECT_EQ(IDC_LOG_LEVEL, FocusedControlId(dialog));
          PostClick(dialog, IDCANCEL);
        });
    RunLogging(script);
    EXPECT_EQ(1u, record->loggingLevel);
    EXPECT_EQ(0u, record->bubble);
  }
}

TEST_F(OptionsTest, TraceFileIsCheckedOnlyWhileTracing) {
  CopyBounded(record->traceFile, "C:\\old.txt", sizeof record->traceFile);
  DialogScript off;
  off.Then([](HWND dialog) {
    SetText(dialog, IDC_LOG_TRACE_FILE, "");
    PostClick(dialog, IDOK);
  });
  RunLogging(off);
  EXPECT_STREQ("", record->traceFile);

  boxes.Clear();
  DialogScript on;
  on.Then([](HWND dialog) {
        SetText(dialog, IDC_LOG_LEVEL, "3");
        PostClick(dialog, IDC_LOG_TRACE);
        SetText(dialog, IDC_LOG_TRACE_FILE, "C:\\no such directory\\trace.txt");
        PostClick(dialog, IDOK);
      })
      .Then([this](HWND dialog) {
        ASSERT_EQ(1u, boxes.boxes().size());
        EXPECT_EQ(ErrorText("The system cannot open the trace file.", "Please enter a valid file name."),
                  boxes.boxes()[0].text);
        EXPECT_EQ(IDC_LOG_TRACE_FILE, FocusedControlId(dialog));
        PostClick(dialog, IDCANCEL);
      });
  RunLogging(on);
  EXPECT_EQ(3u, record->loggingLevel);  // taken before the trace file was refused
  EXPECT_EQ(1u, record->trace);
  EXPECT_STREQ("", record->traceFile);
}

TEST_F(OptionsTest, ReadOnlyLoggingDisablesEveryInputAndChangesNothing) {
  record->readOnly = 1;
  record->loggingLevel = 2;
  DialogScript script;
  script.Then([](HWND dialog) {
    for (int id : {IDC_LOG_TRACE, IDC_LOG_BUBBLE, IDC_LOG_LEVEL, IDC_LOG_LEVEL_LABEL, IDC_LOG_TRACE_FILE}) {
      EXPECT_FALSE(IsControlEnabled(dialog, id)) << id;
    }
    PostClick(dialog, IDOK);
  });
  EXPECT_EQ(1, RunLogging(script));
  EXPECT_TRUE(boxes.boxes().empty());
  EXPECT_EQ(2u, record->loggingLevel);
}

// ---- About box and brag box

TEST_F(OptionsTest, AboutShowsTheProductAndVersion) {
  ModelessDialog dialog(IDD_ABOUT, AboutBoxProc, ModuleInstance);
  EXPECT_EQ("Pressmark Software", ControlText(dialog.get(), IDC_ABOUT_PRODUCT));
  EXPECT_EQ("for Windows 4.0 (TM)", ControlText(dialog.get(), IDC_ABOUT_PLATFORM));
  EXPECT_EQ("Version X(3/16/94)", ControlText(dialog.get(), IDC_ABOUT_VERSION));
  EXPECT_FALSE(IsControlVisible(dialog.get(), IDCANCEL));
}

TEST_F(OptionsTest, AccessoriesOpenTheirTopicOrMakeTheirPitch) {
  DialogScript script;
  script
      .Then([](HWND dialog) { PostClick(dialog, IDC_ABOUT_ACCESSORIES); })
      .Then([this](HWND dialog) {
        HWND viewer = FindWindowA(kHelpWindowClass, nullptr);
        ASSERT_NE(nullptr, viewer);
        EXPECT_EQ("Vantrel printer accessories and supplies", ControlText(viewer, IDC_HELP_TITLE));
        EXPECT_TRUE(boxes.boxes().empty());
        CloseHelp();
        SetHelpFile("C:\\no such directory\\vtlpmmw4.hlp");
        PostClick(dialog, IDC_ABOUT_ACCESSORIES);
      })
      .Then([this](HWND dialog) {
        SetHelpFile(nullptr);
        ASSERT_EQ(1u, boxes.boxes().size());
        EXPECT_EQ("Vantrel sells a full line of printer accessories and supplies. Do you promise to buy some?",
                  boxes.boxes()[0].text);
        EXPECT_EQ("", boxes.boxes()[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), boxes.boxes()[0].style & MB_ICONMASK);
        EXPECT_NE(0u, boxes.boxes()[0].style & MB_SYSTEMMODAL);
        PressKey(dialog, VK_ESCAPE);
      });
  EXPECT_EQ(1, script.Run([] { return RunAboutBox(nullptr, ModuleInstance); }));
}

TEST_F(OptionsTest, BragBoxClosesOnEnterAndEscape) {
  for (UINT key : {VK_RETURN, VK_ESCAPE}) {
    DialogScript script;
    script.Then([key](HWND brag) {
      SIZE client = ClientSize(brag);
      EXPECT_EQ(300, client.cx);
      EXPECT_EQ(400, client.cy);
      PressKey(brag, key);
    });
    EXPECT_EQ(1, script.Run([&] { return RunBragBox(nullptr, record.get()); })) << key;
  }
}

}  // namespace
