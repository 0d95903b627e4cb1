// Test helper: a fixture with a fresh folder of its own per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class TTestFolder : public ::testing::Test {
protected:
  std::filesystem::path Folder;

  void SetUp() override {
    Folder = std::filesystem::temp_directory_path() /
             ("fr-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Folder);
    std::filesystem::create_directories(Folder);
  }
  void TearDown() override { std::filesystem::remove_all(Folder); }

  // A fixture that overrides SetUp must call this one, or its files land where the test runs.
  std::string PathOf(const std::string& Name) const {
    if (Folder.empty()) ADD_FAILURE() << "TTestFolder::SetUp did not run: no folder for " << Name;
    return (Folder / Name).string();
  }
};
