// A QApplication for the widget tests, alive for the whole test run (offscreen unless the
// environment chooses a platform). The framework's texts are pinned to English.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "shell/shell_texts.h"

namespace vt::testing {

class QtAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
    QLocale::setDefault(QLocale(QLocale::English));
    SetShellLanguageForTesting(QLocale::English);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "vt_qt_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const kQtApp = ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

}  // namespace vt::testing
