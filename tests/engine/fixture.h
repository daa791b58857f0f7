// A generated installation and data pieces in temporary folders, and controls that record what
// the update run shows.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/texts.h"
#include "engine/update_run.h"
#include "tests/test_util.h"
#include "tools/demo_install.h"

namespace qrv3::testing {

class RecordingControls final : public RunControls {
 public:
  explicit RecordingControls(std::string install_path) : install_path(std::move(install_path)) {}
  std::string ButtonCaption() override { return caption; }
  void SetButtonCaption(const std::string& c) override {
    caption = c;
    shown.push_back("button:" + c);
  }
  void SetStatus(const std::string& t) override {
    status = t;
    shown.push_back("status:" + t);
  }
  std::string InstallPath() override { return install_path; }

  std::string install_path;
  std::string caption{texts::kReadyButton};
  std::string status;
  std::vector<std::string> shown;  // every write, in order
};

class InstallationTest : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(demo::WriteInstallation(install.str()).ok());
    ASSERT_TRUE(demo::WritePieces(pieces.str()).ok());
  }
  std::string Database() const { return install / "Database\\p03.PAC"; }

  TempDir install;
  TempDir pieces;
};

}  // namespace qrv3::testing
