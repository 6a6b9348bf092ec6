// The entry points and dispatch, driven as the host drives them.
#include <algorithm>

#include "support/host_support.h"

namespace {

using test::S;

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zc::setEcho(false);
    zc::setRecording(true);
    zc::clearHostCallLog();
  }
  void TearDown() override {
    if (module_) zc::unloadModule(module_);
    zc::failDefunForCode(-1);
    zc::setLinkerMode(zc::LinkerMode::kLinker);
  }
  zc::Module* load(const std::string& name = "fakemod") {
    std::string error;
    module_ = zc::loadModule(test::modulePath(name), &error);
    EXPECT_NE(module_, nullptr) << error;
    return module_;
  }
  static std::vector<std::string> calls(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& line : zc::hostCallLog()) {
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    }
    return out;
  }
  zc::Module* module_ = nullptr;
};

// What the host relies on: the module unlocked and made aware of several
// documents under its own handle, and each function defined under its
// code; in whatever order the calls come.
TEST_F(FrameTest, LoadingUnlocksRegistersAndDefinesTheSixFunctionsUnderTheirCodes) {
  load();
  char handle[32];
  std::snprintf(handle, sizeof handle, "%p", zc::applicationHandle(module_));
  std::vector<std::string> expected = {
      std::string("unlockApplication ") + handle,
      std::string("registerAppMDIAware ") + handle,
      "zcedDefun fake_show 0",
      "zcedDefun fake_fail 1",
      "zcedDefun fake_two 2",
      "zcedDefun fake_three 3",
      "zcedDefun fake_four 4",
      "zcedDefun fake_five 5",
  };
  std::vector<std::string> made = zc::hostCallLog();
  std::sort(made.begin(), made.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(made, expected);
}

TEST_F(FrameTest, AFailedDefinitionStopsAtThatCodeSilently) {
  zc::failDefunForCode(2);
  load();
  EXPECT_EQ(calls("zcedDefun").size(), 3u);
  EXPECT_TRUE(zc::isDefined(u"fake_show"));
  EXPECT_TRUE(zc::isDefined(u"fake_fail"));
  EXPECT_FALSE(zc::isDefined(u"fake_two"));
  EXPECT_FALSE(zc::isDefined(u"fake_three"));
  EXPECT_TRUE(calls("zcutPrintf").empty());
}

TEST_F(FrameTest, MissingOrForeignLinkerIsSkippedWithoutACrash) {
  for (zc::LinkerMode mode : {zc::LinkerMode::kMissing, zc::LinkerMode::kOtherClass}) {
    zc::setLinkerMode(mode);
    zc::clearHostCallLog();
    zc::Module* module = load();
    EXPECT_TRUE(calls("unlock").empty());
    EXPECT_TRUE(calls("register").empty());
    EXPECT_EQ(calls("zcedDefun").size(), 6u);
    zc::unloadModule(module);
    module_ = nullptr;
  }
}

TEST_F(FrameTest, IgnoredMessagesMakeNoHostCallAndAnswerZero) {
  load();
  for (unsigned message : {0u, 2u, 6u, 100u}) {
    zc::clearHostCallLog();
    EXPECT_EQ(zc::sendMessage(module_, message), 0);
    EXPECT_TRUE(zc::hostCallLog().empty()) << message;
  }
}

TEST_F(FrameTest, UnloadingDocumentUndefinesAllSixEvenWhenEveryCallFails) {
  load();
  zc::sendMessage(module_, kEntryUnloadDocument);  // removes them; the next round all fail
  zc::clearHostCallLog();
  EXPECT_EQ(zc::sendMessage(module_, kEntryUnloadDocument), 0);
  EXPECT_EQ(calls("zcedUndef").size(), 6u);
  EXPECT_FALSE(zc::isDefined(u"fake_show"));
}

TEST_F(FrameTest, EveryLoadDocumentDefinesAgain) {
  load();
  zc::clearHostCallLog();
  zc::sendMessage(module_, kEntryLoadDocument);
  EXPECT_EQ(calls("zcedDefun").size(), 6u);
}

TEST_F(FrameTest, CallsReachTheirHandlerWithTheListAsGiven) {
  load();
  EXPECT_EQ(zc::invoke(u"FAKE_SHOW", {}).printed, u"args: null");
  std::vector<zc::HostValue> args = {S(u"x"),
                                     test::I(7),
                                     test::I(70000),
                                     test::R(1.5),
                                     zc::HostValue::nil(),
                                     zc::HostValue::t(),
                                     zc::HostValue::makeList({test::I(1), S(u"y")})};
  EXPECT_EQ(zc::invoke(u"fake_show", args).printed,
            u"args: 5005 5003 5010 5001 5019 5021 5016 5003 5005 5017");
  EXPECT_EQ(zc::invoke(u"fake_three", {}).printed, u"handler 3");
}

TEST_F(FrameTest, OutOfRangeCodesReportTheModuleMessageAndRunNoHandler) {
  load();
  for (int code : {-1, 6, 1000}) {
    zc::clearHostCallLog();
    zc::CallResult result = zc::invokeCode(module_, code, {S(u"x")});
    EXPECT_EQ(result.failure, std::u16string(u"fake: no such function code"));
    EXPECT_TRUE(result.printed.empty());
    EXPECT_TRUE(calls("zcedGetArgs").empty());
  }
}

TEST_F(FrameTest, HandlerErrorLeavesEntryPointAnswerAtZero) {
  load();
  zc::CallResult result = zc::invoke(u"fake_fail", {});
  EXPECT_EQ(result.printed, u"failing");
  EXPECT_EQ(result.kind, zc::CallResult::Kind::kNone);
  EXPECT_EQ(result.entryAnswer, 0);
  EXPECT_EQ(zc::invokeCode(module_, 6, {}).entryAnswer, 0);
}

TEST_F(FrameTest, BothModulesAnswerTheirVersionAndDispatchMessages) {
  struct Case {
    const char* module;
    std::u16string message;
  };
  for (const Case& c : {Case{"vetrix", u"error: received nonexistent function code\n"},
                        Case{"calden", u"接收到不存在的「功能函式碼」。"}}) {
    zc::Module* module = load(c.module);
    EXPECT_EQ(zc::invokeCode(module, 6, {}).failure, c.message);
    EXPECT_EQ(zc::invokeCode(module, -1, {}).failure, c.message);
    zc::unloadModule(module);
    module_ = nullptr;
  }
}

TEST_F(FrameTest, WhatIsNoModuleOfThisHostIsRefused) {
  struct Case {
    const char* name;
    std::string error;
  };
  const Case cases[] = {
      {"no-such-module", ""},
      {"noentry", "not a plug-in module (zcrxGetApiVersion or zcrxEntryPoint missing)"},
      {"oldversion", "built for interface version 0x07E40000, not 2021"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(zc::loadModule(test::modulePath(c.name), &error), nullptr) << c.name;
    if (c.error.empty()) {
      EXPECT_FALSE(error.empty());
    } else {
      EXPECT_EQ(error, c.error);
    }
  }
}

}  // namespace
