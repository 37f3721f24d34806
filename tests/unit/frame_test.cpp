// Runtime errors, the error dialog, the program thread's end and _EXIT.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "frame/frame.h"
#include "frame/internal.h"
#include "strings/strings.h"
#include "test_program.h"

namespace {

struct shown_box {
  std::string title;
  std::string text;
  box_buttons buttons;
};
std::vector<shown_box> boxes;
box_answer next_answer = box_answer::yes;

box_answer record_box(const std::string& title, const std::string& text, box_buttons buttons) {
  boxes.push_back({title, text, buttons});
  return next_answer;
}

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    new_error = 0;
    kxevent = 0;
    r = 0;
    ercl = 0;
    error_err = 0;
    error_erl = 0;
    last_line = 0;
    error_goto_line = 0;
    error_handling = 0;
    error_occurred = 0;
    error_retry = 0;
    stop_program = 0;
    close_program = 0;
    exit_blocked = 0;
    exit_value = 0;
    boxes.clear();
    next_answer = box_answer::yes;
    set_message_box_hook(record_box);
    test_program_body = nullptr;
  }
  void TearDown() override {
    set_message_box_hook(nullptr);
    test_program_body = nullptr;
  }
};

TEST_F(Frame, MessagesOfErrorNumbers) {
  const std::pair<int32_t, const char*> cases[] = {
      {1, "NEXT without FOR"},       {5, "Illegal function call"},
      {14, "Out of string space"},   {16, "String formula too complex"},
      {53, "File not found"},        {69, "Communication-buffer overflow"},
      {75, "Path/File access error"}, {76, "Path not found"},
      {258, "Invalid handle"},       {15, "Unprintable error"},
      {21, "Unprintable error"},     {300, "Unprintable error"},
      {0, "Unprintable error"},      {257, "Unprintable error"},
  };
  for (const auto& [n, text] : cases) EXPECT_STREQ(error_message(n), text) << n;
}

TEST_F(Frame, CriticalTitles) {
  const std::pair<int32_t, const char*> cases[] = {
      {256, "Critical Error"},     {257, "Critical Error #1"},  {502, "Critical Error #2"},
      {508, "Critical Error #8"},  {515, "Critical Error #15"}, {517, "Critical Error #17"},
      {255, nullptr},              {258, nullptr},              {501, nullptr},
      {518, nullptr},
  };
  for (const auto& [n, title] : cases) {
    if (title) {
      EXPECT_STREQ(critical_error_title(n), title) << n;
    } else {
      EXPECT_EQ(critical_error_title(n), nullptr) << n;
    }
  }
}

TEST_F(Frame, ZeroAndNegativeNumbersBecomeFive) {
  for (int32_t n : {0, -3, INT32_MIN}) {
    new_error = 0;
    kxevent = 0;
    error(n);
    EXPECT_EQ(new_error.load(), 5) << n;
    EXPECT_EQ(kxevent.load(), 1);
  }
}

TEST_F(Frame, FirstErrorOfAStatementWins) {
  error(53);
  error(76);
  error(0);
  EXPECT_EQ(new_error.load(), 53);
}

TEST_F(Frame, DialogTextAndTitle) {
  error(76);
  evnt(1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Unhandled Error #76");
  EXPECT_EQ(boxes[0].text, "Line:1\nPath not found\nContinue?");
  EXPECT_EQ(boxes[0].buttons, box_buttons::yes_no);
  // Yes: the program goes on with the next statement.
  EXPECT_EQ(new_error.load(), 0);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(kxevent.load(), 0);
  EXPECT_EQ(func__errorline(), 1);
}

TEST_F(Frame, UnprintableErrorKeepsItsNumberInTheTitle) {
  error(300);
  evnt(4000000000u);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Unhandled Error #300");
  EXPECT_EQ(boxes[0].text, "Line:4000000000\nUnprintable error\nContinue?");
  EXPECT_EQ(ercl, 4000000000u);
}

TEST_F(Frame, ResumeRunsTheStatementAgain) {
  error(5);
  error_retry = 1;
  evnt(7);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(error_retry, 0);
}

TEST_F(Frame, OnErrorHandOverSetsErrAndErl) {
  error_goto_line = 10;
  last_line = 40;
  int32_t seen_err = -1;
  double seen_erl = -1;
  int32_t seen_occurred = 0;
  int32_t seen_pending = -1;
  test_program_body = [&] {
    seen_occurred = error_occurred;
    seen_err = get_error_err();
    seen_erl = get_error_erl();
    seen_pending = new_error.load();
    error_occurred = 0;
  };
  error(53);
  evnt(3);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(seen_occurred, 1);
  EXPECT_EQ(seen_err, 53);
  EXPECT_EQ(seen_erl, 40);
  EXPECT_EQ(seen_pending, 0);
  EXPECT_EQ(func__errorline(), 3);
}

TEST_F(Frame, ErrorInsideTheHandlerShowsTheDialog) {
  error_goto_line = 10;
  error_handling = 1;
  error(5);
  evnt(2);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Unhandled Error #5");
}

TEST_F(Frame, AnsweringNoStopsTheProgramThread) {
  next_answer = box_answer::no;
  bool ran_on = false;
  test_program_body = [&] {
    error(75);
    evnt(1);
    ran_on = true;  // must never run
  };
  std::thread program(program_thread_main, nullptr);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!close_program && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(close_program.load(), 1);
  // The thread waits in end() until the shutdown sequence sets stop_program.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  stop_program = 1;
  program.join();
  EXPECT_FALSE(ran_on);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Unhandled Error #75");
}

TEST_F(Frame, StopRequestEndsTheProgramAtItsNextPoll) {
  int statements = 0;
  test_program_body = [&] {
    for (;;) {
      ++statements;
      if (kxevent) evnt(1);
    }
  };
  std::thread program(program_thread_main, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  stop_program = 1;
  kxevent = 1;
  program.join();  // returns only when the thread has ended
  EXPECT_GT(statements, 0);
}

TEST_F(Frame, ExitReturnsAndClearsTheRequests) {
  EXPECT_EQ(func__exit(), 0);
  EXPECT_EQ(exit_blocked.load(), 1);
  exit_value |= 1;
  EXPECT_EQ(func__exit(), 1);
  exit_value |= 1;
  exit_value |= 2;
  EXPECT_EQ(func__exit(), 3);
  EXPECT_EQ(func__exit(), 0);
}

TEST_F(Frame, ReturnPointsDoubleAndKeepTheirContents) {
  int32_t before = return_points;
  for (int32_t i = 0; i < before; ++i) return_point[i] = static_cast<uint32_t>(i * 7);
  more_return_points();
  ASSERT_EQ(return_points, before * 2);
  for (int32_t i = 0; i < before; ++i) ASSERT_EQ(return_point[i], static_cast<uint32_t>(i * 7));
  return_point[return_points - 1] = 1;  // the new half is usable
}

class FrameDeathTest : public Frame {
 protected:
  void SetUp() override {
    Frame::SetUp();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
};

TEST_F(FrameDeathTest, CriticalErrorsShowTheirBoxAndExitWithZero) {
  set_message_box_hook(nullptr);  // the real box, which falls back to standard error
  EXPECT_EXIT(error(256), ::testing::ExitedWithCode(0), "Critical Error\nOut of stack space");
  EXPECT_EXIT(error(257), ::testing::ExitedWithCode(0), "Critical Error #1\nOut of memory");
  EXPECT_EXIT(error(511), ::testing::ExitedWithCode(0), "Critical Error #11\nOut of memory");
}

TEST_F(FrameDeathTest, ReturnPointStackThatCannotDoubleIsOutOfStackSpace) {
  set_message_box_hook(nullptr);
  EXPECT_EXIT(
      {
        return_points = INT32_MAX / 2 + 1;
        more_return_points();
      },
      ::testing::ExitedWithCode(0), "Out of stack space");
}

TEST_F(Frame, WithoutADisplayTheDialogAnswersNo) {
  set_message_box_hook(nullptr);
  EXPECT_EQ(message_box("Unhandled Error #5", "Line:2\nIllegal function call\nContinue?",
                        box_buttons::yes_no),
            box_answer::no);
}

TEST(StartUp, ExecutableFolder) {
  const std::pair<const char*, const char*> cases[] = {
      {"/usr/local/bin/trelko", "/usr/local/bin"},
      {"/trelko", "/"},
      {"trelko", "."},
      {"/a b/c/prog", "/a b/c"},
  };
  for (const auto& [path, folder] : cases) EXPECT_EQ(exe_folder(path), folder) << path;
}

TEST(StartUp, CommandLineJoinsArgumentsWithOneSpace) {
  char prog[] = "trelko", a[] = "a", b[] = "b", spaced[] = "x y";
  char* none[] = {prog, nullptr};
  char* two[] = {prog, a, b, nullptr};
  char* quoted[] = {prog, spaced, a, nullptr};
  EXPECT_EQ(join_command_line(1, none), "");
  EXPECT_EQ(join_command_line(3, two), "a b");
  EXPECT_EQ(join_command_line(3, quoted), "x y a");
}

TEST(StartUp, MillisecondsSinceMidnightStayWithinADay) {
  uint32_t ms = ms_since_midnight();
  EXPECT_LT(ms, 86400000u);
}

}  // namespace
