// CDocDlg: the form preview (dialog 132). Shows a rendered request or certificate form (a
// windows-1251 HTML file) in a text browser under a row of buttons: sign (1007), print (1008),
// write to the carrier (1015) and save as PDF. The buttons keep their distance from the right
// edge when the window is resized. Mode, caption, button states and what each button does
// belong to wizard::DocumentPreview; this class shows them and passes the clicks on.
#pragma once

#include <QDialog>
#include <string>

#include "wizard/document_preview.h"

class QPushButton;
class QShortcut;
class QTextBrowser;
class QTextDocument;

namespace orvane::gui {

// The form's HTML with every CSS "font:" shorthand (in style elements and style attributes)
// written out as font-style, font-variant, font-weight, font-size, line-height and font-family
// declarations, which the text browser understands.
QString ExpandFontShorthands(const QString& html);

// Puts the form's HTML into the document sized as a browser sizes it: font shorthands expanded,
// and headings at the size the style sheet gives them, or else at the browser's heading scale of
// the text around them (Qt would otherwise use its own fixed heading sizes).
void SetFormHtml(QTextDocument& document, const QString& html);

class CDocDlg : public QDialog {
  Q_OBJECT
 public:
  CDocDlg(const QString& htmlPath, wizard::DocumentPreview& preview, QWidget* parent = nullptr);

  QTextBrowser* View() const { return view_; }
  // False when the file could not be read (the view stays empty).
  bool Loaded() const { return loaded_; }

  // Writes the form as a PDF file. False, after an error message, when the file cannot be
  // written.
  bool SaveAsPdf(const QString& path);
  // The print dialog, then the form on the chosen printer.
  void Print();
  // Copies the preview's button states into the buttons.
  void UpdateButtons();

  // Escape and the close box: closes when the preview allows it or the user confirms the
  // abort question.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  bool Load(const QString& htmlPath);
  void Relayout();
  void OnSign();
  void OnWrite();
  void OnSavePdf();

  wizard::DocumentPreview& preview_;
  QTextBrowser* view_ = nullptr;
  QPushButton* signButton_ = nullptr;
  QPushButton* printButton_ = nullptr;
  QPushButton* writeButton_ = nullptr;
  QPushButton* pdfButton_ = nullptr;
  QShortcut* printKey_ = nullptr;  // only when the preview allows the print hot key
  bool loaded_ = false;
};

// Shows the form at a size that fits the screen and runs the dialog; true when it ended with
// OK (sent or written).
bool RunDocumentPreview(QWidget* owner, const std::u16string& htmlPath, wizard::DocumentPreview& preview);

}  // namespace orvane::gui
