#include "gui/doc_dlg.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>
#include <vector>

#include "gui/dialog_units.h"
#include "gui/finish_dialogs.h"
#include "gui/qt_ui.h"

namespace orvane::gui {
namespace {

// The button row and the form below it, in pixels.
constexpr int kButtonTop = 11;
constexpr int kViewTop = 50;
constexpr int kLeftMargin = 8;
constexpr int kButtonGap = 6;

// Distances of the buttons' left edges from the right edge of the window.
constexpr int kPrintFromRight = 140;
constexpr int kSignFromRightRequest = 360;
constexpr int kSignFromRightCertificate = 260;
constexpr int kWriteFromRight = 432;
constexpr int kSignNarrowing = 80;  // the sign button outside request mode

// One value of a "font:" shorthand written out as longhand declarations; the value itself
// when it is not a shorthand we can take apart (a system font keyword, no size).
QString ExpandFontValue(const QString& value) {
  static const QRegularExpression important(QStringLiteral("\\s*!\\s*important\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression token(QStringLiteral("\\G\\s*(\"[^\"]*\"|'[^']*'|[^\\s,\"']+)"));
  static const QRegularExpression size(
      QStringLiteral("^((?:\\d+(?:\\.\\d*)?|\\.\\d+)(?:pt|px|em|ex|rem|%|cm|mm|in|pc)?|xx-small|x-small|small|medium|"
                     "large|x-large|xx-large|larger|smaller)(?:/(\\S+))?$"),
      QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression weight(QStringLiteral("^(bold|bolder|lighter|[1-9]00)$"),
                                         QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression stretch(QStringLiteral("^(ultra-|extra-|semi-)?(condensed|expanded)$"),
                                          QRegularExpression::CaseInsensitiveOption);

  QString body = value.trimmed();
  QString suffix;
  if (const auto m = important.match(body); m.hasMatch()) {
    suffix = QStringLiteral(" !important");
    body.truncate(m.capturedStart());
  }

  QString style = QStringLiteral("normal");
  QString variant = QStringLiteral("normal");
  QString fontWeight = QStringLiteral("normal");
  qsizetype pos = 0;
  while (pos < body.size()) {
    const auto t = token.match(body, pos);
    if (!t.hasMatch()) return value;
    const QString word = t.captured(1);
    const QString lower = word.toLower();
    pos = t.capturedEnd();
    if (lower == u"italic" || lower == u"oblique") {
      style = lower;
    } else if (lower == u"small-caps") {
      variant = lower;
    } else if (weight.match(lower).hasMatch()) {
      fontWeight = lower;
    } else if (lower == u"normal" || stretch.match(lower).hasMatch()) {
      // the initial value, or a width the browser does not know
    } else if (const auto s = size.match(word); s.hasMatch()) {
      QStringList out;
      out << QStringLiteral("font-style: ") + style + suffix << QStringLiteral("font-variant: ") + variant + suffix
          << QStringLiteral("font-weight: ") + fontWeight + suffix
          << QStringLiteral("font-size: ") + s.captured(1) + suffix;
      if (s.hasCaptured(2)) out << QStringLiteral("line-height: ") + s.captured(2) + suffix;
      const QString family = body.mid(pos).trimmed();
      if (!family.isEmpty()) out << QStringLiteral("font-family: ") + family + suffix;
      return out.join(QStringLiteral("; "));
    } else {
      return value;
    }
  }
  return value;
}

QString ExpandInCss(const QString& css) {
  static const QRegularExpression shorthand(QStringLiteral("(?<![\\w-])font\\s*:([^;{}]*)(?=[;}]|$)"),
                                            QRegularExpression::CaseInsensitiveOption);
  QString out;
  qsizetype last = 0;
  for (auto it = shorthand.globalMatch(css); it.hasNext();) {
    const auto m = it.next();
    out += QStringView(css).mid(last, m.capturedStart() - last);
    const QString expanded = ExpandFontValue(m.captured(1));
    out += expanded == m.captured(1) ? m.captured(0) : expanded;
    last = m.capturedEnd();
  }
  out += QStringView(css).mid(last);
  return out;
}

// Replaces capture group `group` of every match of `re` in `text` by f(captured text).
template <typename F>
QString ReplaceGroup(const QString& text, const QRegularExpression& re, int group, F f) {
  QString out;
  qsizetype last = 0;
  for (auto it = re.globalMatch(text); it.hasNext();) {
    const auto m = it.next();
    out += QStringView(text).mid(last, m.capturedStart(group) - last);
    out += f(m.captured(group));
    last = m.capturedEnd(group);
  }
  out += QStringView(text).mid(last);
  return out;
}

// The decoder for the file: its byte order mark, else the charset it declares, else
// windows-1251 (what the forms are written in).
QStringDecoder DecoderFor(const QByteArray& data) {
  if (const auto bom = QStringConverter::encodingForData(data)) return QStringDecoder(*bom);
  static const QRegularExpression charset(QStringLiteral("charset\\s*=\\s*[\"']?\\s*([A-Za-z0-9_.:-]+)"),
                                          QRegularExpression::CaseInsensitiveOption);
  const auto m = charset.match(QString::fromLatin1(data.left(2048)));
  if (m.hasMatch()) {
    QStringDecoder declared(m.captured(1).toLatin1().constData());
    if (declared.isValid()) return declared;
  }
  return QStringDecoder("windows-1251");
}

// The style elements of a form.
const QRegularExpression& StyleElement() {
  static const QRegularExpression re(
      QStringLiteral("<style\\b[^>]*>(.*?)</style\\s*>"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  return re;
}

// Qt sizes headings by its own scale (FontSizeAdjustment), which outweighs any font-size the
// style sheet gives them. A marker size for headings, as the first rule of the form's style
// sheet (so any rule of the form wins over it), tells explicit heading sizes from inherited
// ones. Qt does not order equal rules of different style elements reliably, so the form's
// style elements are joined into one, in their order, where the first of them was.
constexpr qreal kMarkerSize = 997;

QString WithMarkerSheet(const QString& html) {
  static const QRegularExpression head(QStringLiteral("<head\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
  QString out;
  QStringList sheets;
  qsizetype first = -1;
  qsizetype last = 0;
  for (auto it = StyleElement().globalMatch(html); it.hasNext();) {
    const auto m = it.next();
    out += QStringView(html).mid(last, m.capturedStart() - last);
    if (first < 0) first = out.size();
    sheets << m.captured(1);
    last = m.capturedEnd();
  }
  out += QStringView(html).mid(last);
  const QString sheet =
      QStringLiteral("<style type=\"text/css\">h1, h2, h3, h4, h5, h6 { font-size: %1pt; }\n%2</style>")
          .arg(QString::number(kMarkerSize), sheets.join(QLatin1Char('\n')));
  if (first >= 0) {
    out.insert(first, sheet);
  } else if (const auto h = head.match(out); h.hasMatch()) {
    out.insert(h.capturedEnd(), sheet);
  } else {
    out.prepend(sheet);
  }
  return out;
}

// What browsers make of a heading without a size of its own, relative to the text around it.
qreal HeadingScale(int level) {
  static constexpr qreal kScale[] = {2.0, 1.5, 1.17, 1.0, 0.83, 0.67};
  return kScale[level - 1];
}

// The heading format's size as a browser would give it: its own when the style sheet sets one
// (the marker is overridden), else the surrounding size (`inherited`, from the document without
// the marker) times the heading scale; without any size Qt's scale stays.
bool ResolveHeadingSize(QTextCharFormat& format, int level, qreal inherited) {
  if (!format.hasProperty(QTextFormat::FontSizeAdjustment) ||
      format.intProperty(QTextFormat::FontSizeAdjustment) != 4 - level) {
    return false;  // not the heading's own scale (e.g. <small> inside it)
  }
  if (format.fontPointSize() == kMarkerSize) {
    if (inherited <= 0) {
      format.clearProperty(QTextFormat::FontPointSize);
      return true;
    }
    format.setFontPointSize(inherited * HeadingScale(level));
  }
  format.clearProperty(QTextFormat::FontSizeAdjustment);
  return true;
}

QPushButton* Button(QWidget* parent, const QString& text, const QString& id) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(id);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

}  // namespace

QString ExpandFontShorthands(const QString& html) {
  static const QRegularExpression doubleQuoted(QStringLiteral("\\bstyle\\s*=\\s*\"([^\"]*)\""),
                                               QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression singleQuoted(QStringLiteral("\\bstyle\\s*=\\s*'([^']*)'"),
                                               QRegularExpression::CaseInsensitiveOption);
  QString out = ReplaceGroup(html, StyleElement(), 1, ExpandInCss);
  out = ReplaceGroup(out, doubleQuoted, 1, ExpandInCss);
  out = ReplaceGroup(out, singleQuoted, 1, ExpandInCss);
  return out;
}

void SetFormHtml(QTextDocument& document, const QString& html) {
  const QString expanded = ExpandFontShorthands(html);
  QTextDocument plain;
  plain.setDefaultFont(document.defaultFont());
  plain.setHtml(expanded);
  const bool undo = document.isUndoRedoEnabled();
  document.setUndoRedoEnabled(false);
  document.setHtml(WithMarkerSheet(expanded));

  struct Change {
    int start, end;
    QTextCharFormat format;
  };
  std::vector<Change> changes;
  std::vector<std::pair<int, QTextCharFormat>> blockChanges;
  const auto inheritedAt = [&plain](int position) {
    QTextCursor c(&plain);
    c.setPosition(std::min(position + 1, plain.characterCount() - 1));
    return c.charFormat().fontPointSize();
  };
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    const int level = block.blockFormat().headingLevel();
    if (level < 1 || level > 6) continue;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      QTextCharFormat format = fragment.charFormat();
      if (ResolveHeadingSize(format, level, inheritedAt(fragment.position()))) {
        changes.push_back({fragment.position(), fragment.position() + fragment.length(), format});
      }
    }
    QTextCharFormat blockFormat = block.charFormat();
    const QTextBlock plainBlock = plain.findBlock(block.position());
    if (ResolveHeadingSize(blockFormat, level, plainBlock.charFormat().fontPointSize())) {
      blockChanges.emplace_back(block.position(), blockFormat);
    }
  }
  QTextCursor cursor(&document);
  for (const auto& c : changes) {
    cursor.setPosition(c.start);
    cursor.setPosition(c.end, QTextCursor::KeepAnchor);
    cursor.setCharFormat(c.format);
  }
  for (const auto& [position, format] : blockChanges) {
    cursor.setPosition(position);
    cursor.setBlockCharFormat(format);
  }
  document.setUndoRedoEnabled(undo);
}

CDocDlg::CDocDlg(const QString& htmlPath, wizard::DocumentPreview& preview, QWidget* parent)
    : QDialog(parent), preview_(preview) {
  setObjectName(QStringLiteral("132"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(AppIcon());
  setWindowTitle(ToQString(preview_.Caption()));

  const auto buttons = preview_.Buttons();
  signButton_ = Button(this, ToQString(buttons.signCaption), QStringLiteral("1007"));
  printButton_ = Button(this, QStringLiteral("Распечатать"), QStringLiteral("1008"));
  writeButton_ = Button(this, QStringLiteral("Записать на носитель"), QStringLiteral("1015"));
  pdfButton_ = Button(this, QStringLiteral("Сохранить в PDF"), QStringLiteral("pdf"));
  connect(signButton_, &QPushButton::clicked, this, &CDocDlg::OnSign);
  connect(printButton_, &QPushButton::clicked, this, &CDocDlg::Print);
  connect(writeButton_, &QPushButton::clicked, this, &CDocDlg::OnWrite);
  connect(pdfButton_, &QPushButton::clicked, this, &CDocDlg::OnSavePdf);

  view_ = new QTextBrowser(this);
  view_->setObjectName(QStringLiteral("1001"));
  view_->setOpenLinks(false);
  view_->setOpenExternalLinks(false);
  loaded_ = Load(htmlPath);

  if (preview_.PrintHotKey()) {
    printKey_ = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), this);
    printKey_->setAutoRepeat(false);
    printKey_->setEnabled(false);  // until the window is active
    connect(printKey_, &QShortcut::activated, this, [this] {
      if (printButton_->isEnabled()) Print();
    });
  }

  const DialogUnits du(font());
  const int pdfWidth = std::max(du.X(80), pdfButton_->sizeHint().width());
  setMinimumSize(kLeftMargin + pdfWidth + kButtonGap + kWriteFromRight, kViewTop + du.Y(40));
  resize(du.X(583), du.Y(350));
  UpdateButtons();
  Relayout();
}

bool CDocDlg::Load(const QString& htmlPath) {
  QFile file(htmlPath);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray data = file.readAll();
  QStringDecoder decoder = DecoderFor(data);
  const QString html = decoder.decode(data);
  // Pictures and style sheets next to the form.
  const QFileInfo info(htmlPath);
  view_->setSearchPaths({info.absolutePath()});
  view_->document()->setBaseUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
  SetFormHtml(*view_->document(), html);
  view_->moveCursor(QTextCursor::Start);  // the form from its top
  return true;
}

void CDocDlg::Relayout() {
  const DialogUnits du(font());
  const int r = width();
  const int h = du.Y(16);
  const bool request = preview_.Mode() == wizard::PreviewMode::Request;
  // Each button keeps its template width unless that would run into its right neighbour.
  auto place = [&](QPushButton* button, int fromRight, int width, int rightLimit) {
    const int x = r - fromRight;
    button->setGeometry(x, kButtonTop, std::max(0, std::min(width, rightLimit - kButtonGap - x)), h);
  };
  place(printButton_, kPrintFromRight, du.X(80), r + kButtonGap - kLeftMargin);
  const int signFromRight = request ? kSignFromRightRequest : kSignFromRightCertificate;
  place(signButton_, signFromRight, du.X(120) - (request ? 0 : kSignNarrowing), printButton_->x());
  place(writeButton_, kWriteFromRight, du.X(101), signButton_->x());
  pdfButton_->setGeometry(kLeftMargin, kButtonTop, std::max(du.X(80), pdfButton_->sizeHint().width()), h);
  view_->setGeometry(0, kViewTop, r, std::max(0, height() - kViewTop));
}

void CDocDlg::UpdateButtons() {
  const auto b = preview_.Buttons();
  signButton_->setText(ToQString(b.signCaption));
  signButton_->setVisible(b.signVisible);
  signButton_->setEnabled(b.signEnabled);
  printButton_->setEnabled(b.printEnabled);
  pdfButton_->setEnabled(b.printEnabled);  // a PDF is a print: only of a confirmed form
  writeButton_->setVisible(b.writeVisible);
  writeButton_->setEnabled(b.writeEnabled);
}

void CDocDlg::OnSign() {
  const bool done = preview_.SignAndSend(this);
  UpdateButtons();
  if (done) accept();
}

void CDocDlg::OnWrite() {
  const bool done = preview_.Write();
  UpdateButtons();
  if (done) accept();
}

void CDocDlg::Print() {
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(windowTitle());
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() == QDialog::Accepted) view_->document()->print(&printer);
  UpdateButtons();
}

void CDocDlg::OnSavePdf() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  QString path =
      QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить в PDF"), folder, QStringLiteral("PDF (*.pdf)"));
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");
  SaveAsPdf(path);
  UpdateButtons();
}

bool CDocDlg::SaveAsPdf(const QString& path) {
  // Written to a temporary file beside the target and renamed over it only once the PDF is
  // complete, so a failure leaves no partial file and an existing one untouched.
  bool written = false;
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly)) {
    {
      QPdfWriter writer(&file);
      writer.setPageSize(QPageSize(QPageSize::A4));
      writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
      writer.setTitle(windowTitle());
      writer.setCreator(QStringLiteral("Orvane"));
      view_->document()->print(&writer);
    }
    if (file.flush() && file.size() > 0 && file.error() == QFileDevice::NoError) {
      written = file.commit();
    } else {
      file.cancelWriting();
    }
  }
  if (written) {
    const QFileInfo result(path);
    written = result.exists() && result.size() > 0;
  }
  if (!written) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Ошибка"),
                    QStringLiteral("Не удалось сохранить бланк в файл %1").arg(QDir::toNativeSeparators(path)),
                    QMessageBox::Ok, this);
    box.exec();
  }
  return written;
}

void CDocDlg::reject() {
  if (const auto reason = preview_.AbortReason()) {
    CDocAlertDlg alert(ToQString(*reason), this);
    if (alert.exec() != CDocAlertDlg::kAbort) return;  // the form stays open
  }
  QDialog::reject();
}

void CDocDlg::keyPressEvent(QKeyEvent* event) {
  // No button is the default: Enter does nothing.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CDocDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  Relayout();
}

void CDocDlg::changeEvent(QEvent* event) {
  // The print hot key belongs to this window only while it is the active one.
  if (event->type() == QEvent::ActivationChange && printKey_ != nullptr) printKey_->setEnabled(isActiveWindow());
  QDialog::changeEvent(event);
}

bool RunDocumentPreview(QWidget* owner, const std::u16string& htmlPath, wizard::DocumentPreview& preview) {
  CDocDlg dialog(ToQString(htmlPath), preview, owner);
  QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    // The template size, within nine tenths of the screen, centred on it.
    const QRect area = screen->availableGeometry();
    const QSize size = dialog.size().boundedTo(area.size() * 0.9).expandedTo(dialog.minimumSize());
    dialog.resize(size);
    dialog.move(area.center() - QPoint(size.width() / 2, size.height() / 2));
  }
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace orvane::gui
