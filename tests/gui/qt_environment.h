// The QApplication of a GUI test program, on the offscreen platform, made before the first
// test and destroyed after the last.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <string>

namespace orvane::test {

class QtEnvironment : public ::testing::Environment {
 public:
  explicit QtEnvironment(std::string programName) : name_(std::move(programName)) {}
  void SetUp() override {
    argv_[0] = name_.data();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::string name_;
  int argc_ = 1;  // QApplication keeps references to both for its lifetime
  char* argv_[2] = {nullptr, nullptr};
  std::unique_ptr<QApplication> app_;
};

}  // namespace orvane::test
