// The main window against the real pcscd with the vpcd driver: a virtual token inserted and
// removed reaches the device list within about a second. It uses the second vpcd reader
// pair, which the carrier integration tests leave alone, so a reader another test has just
// released is never the one it waits on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>

#include "gui/main_dialog.h"
#include "pcscd_support.h"
#include "platform/pcsc_api.h"
#include "support/scripted_ui.h"

using namespace orvane;

namespace {

bool WaitFor(const std::function<bool()>& condition, int ms) {
  QElapsedTimer t;
  t.start();
  while (!condition() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return condition();
}

}  // namespace

TEST(MainWindowThroughPcscd, InsertionAndRemovalReachTheList) {
  if (!test::Installed()) GTEST_SKIP() << "pcscd or the vpcd driver is not installed (packages pcscd, vsmartcard-vpcd)";
  signal(SIGPIPE, SIG_IGN);
  const int lock = open("/tmp/orvane-pcscd-vpcd.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (lock >= 0) flock(lock, LOCK_EX);
  ASSERT_EQ(test::RunScript("start"), 0);

  int argc = 1;
  char name[] = "gui_pcscd_test";
  char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const auto pcsc = platform::CreatePcscLiteApi();
  // pcscd may just have been (re)started: wait for its vpcd readers.
  auto readerListed = [&] {
    platform::ScopedPcscContext c(*pcsc, platform::pcsc::kScopeUser);
    std::vector<std::u16string> readers;
    if (!c || pcsc->ListReaders(c.get(), &readers) != platform::pcsc::kSuccess) return false;
    return std::find(readers.begin(), readers.end(), u"Virtual PCD 2 00 00") != readers.end();
  };
  ASSERT_TRUE(WaitFor(readerListed, 15000)) << "the vpcd readers did not appear";
  test::ScriptedUi ui;
  gui::COrvaneDlg::Services services;
  services.ui = &ui;
  services.pcsc = pcsc.get();
  gui::COrvaneDlg dlg(services);
  auto* list = dlg.findChild<QComboBox*>(QStringLiteral("1010"));
  ASSERT_TRUE(WaitFor([&] { return list->count() == 0; }, 5000)) << "a card of another user sits in a vpcd reader";

  test::VirtualToken token("rutoken-ecp", 35965,
                           {"--label", "Ivanov", "--serial", "1234567", "--free", "30000", "--removed"});
  ASSERT_TRUE(token.started());
  QElapsedTimer t;
  t.start();
  token.Insert();
  ASSERT_TRUE(WaitFor([&] { return list->count() == 1; }, 10000));
  const qint64 inserted = t.elapsed();
  EXPECT_TRUE(list->itemText(0).startsWith(QStringLiteral("RUTOKEN ECP")));
  EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("carrierLine5"))->text(), QStringLiteral("Состояние: ОК"));
  std::printf("insertion reached the window after %lld ms\n", static_cast<long long>(inserted));
  token.Remove();
  ASSERT_TRUE(WaitFor([&] { return list->count() == 0; }, 10000));
  EXPECT_EQ(dlg.findChild<QLabel*>(QStringLiteral("carrierLine5"))->text(),
            QStringLiteral("Вставьте ключевой носитель"));
  if (lock >= 0) close(lock);
}
