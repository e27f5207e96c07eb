#include "server/ui/wintestresult.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

#include "server/data/global_variable.h"
#include "server/data/item_lookup.h"
#include "server/data/pricing/lookup_pricing.h"

namespace kt::ui {
namespace {

constexpr auto kEmpty = "...";

QLabel* ResultLabel(const char* name, QWidget* parent) {
  auto* l = new QLabel(QString::fromLatin1(kEmpty), parent);
  l->setObjectName(name);
  // 331 x 35 dialog units each.
  l->setFixedSize(331 * 3 / 2, 35 * 13 / 8);
  QFont f = l->font();
  f.setPointSize(f.pointSize() + 6);
  f.setBold(true);
  l->setFont(f);
  l->setFrameShape(QFrame::Panel);
  l->setFrameShadow(QFrame::Sunken);
  l->setTextFormat(Qt::PlainText);
  return l;
}

QString FromBytes(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

WINTESTRESULT::WINTESTRESULT(data::GLOBALVARIABLE& globals, EventSink& sink, QWidget* parent)
    : QDialog(parent), lookup_(std::make_unique<data::ITEMPENJUAECERAN>(globals, sink)) {
  setWindowTitle(QStringLiteral("Simple Test Result"));
  code_ = ResultLabel("id100", this);
  name_ = ResultLabel("id101", this);
  price_ = ResultLabel("id102", this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(code_);
  layout->addWidget(name_);
  layout->addWidget(price_);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  setFocusPolicy(Qt::StrongFocus);

  // PostInit: the paste shortcut, the lookup object's own work-area names, one table open.
  auto* paste = new QShortcut(QKeySequence::Paste, this);
  connect(paste, &QShortcut::activated, this, &WINTESTRESULT::Paste);
  lookup_->CSTOCK = "STOCKTST";
  lookup_->CPELANG = "PELANGTST";
  lookup_->CPELSTK = "PELSTKTST";
  lookup_->CSTKHJL = "STKHJLTST";
  lookup_->CSTKPRO = "STKPROTST";
  lookup_->CKURSMA = "KURSMATST";
  lookup_->DBSUBOPEN();
}

WINTESTRESULT::~WINTESTRESULT() { lookup_->DBSUBCLOSE(); }

void WINTESTRESULT::SetBarcode(const QString& text) {
  barcode_ = text;
  code_->setText(text);
  name_->setText(QString::fromLatin1(kEmpty));
  price_->setText(QString::fromLatin1(kEmpty));
}

void WINTESTRESULT::BARCODEREAD(QChar key) {
  const char16_t c = key.unicode();
  if (c < 0x20 || c > 0x7E) return;
  SetBarcode(barcode_ + key.toUpper());
}

void WINTESTRESULT::CHECKBARCODEEX() {
  if (barcode_.isEmpty()) return;
  lookup_->SEEKKODE(barcode_.toLatin1().toStdString());
  // The buffer empties; the code label keeps the code.
  barcode_.clear();
  if (lookup_->SEEKFOUND()) {
    SHOWDATA();
  } else {
    name_->setText(QStringLiteral("###"));
    price_->setText(QStringLiteral("###"));
  }
}

void WINTESTRESULT::SHOWDATA() {
  const data::ITEMPENJUAECERAN_LINE& line = lookup_->OITEMPENJUAECERAN;
  if (!line.ORECITEM) return;
  name_->setText(FromBytes(line.ORECITEM->CNAMAALL));
  price_->setText(FromBytes(data::pricing::LookupPriceText(*lookup_)));
}

void WINTESTRESULT::Paste() {
  const QString text = QGuiApplication::clipboard()->text();
  if (text.isEmpty() || text.front() != QLatin1Char('1')) return;
  SetBarcode(barcode_ + text.mid(1));
  CHECKBARCODEEX();
}

void WINTESTRESULT::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Paste)) {
    Paste();
    return;
  }
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      CHECKBARCODEEX();
      return;
    case Qt::Key_Backspace:
      if (!barcode_.isEmpty()) SetBarcode(barcode_.chopped(1));
      return;
    case Qt::Key_Delete:
      SetBarcode(QString());
      return;
    case Qt::Key_Escape:
      close();
      return;
    default:
      break;
  }
  const QString text = event->text();
  if (text.size() == 1 && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    BARCODEREAD(text.front());
    return;
  }
  QDialog::keyPressEvent(event);
}

void WINTESTRESULT::closeEvent(QCloseEvent* event) {
  lookup_->DBSUBCLOSE();
  QDialog::closeEvent(event);
}

QString WINTESTRESULT::codeText() const { return code_->text(); }
QString WINTESTRESULT::nameText() const { return name_->text(); }
QString WINTESTRESULT::priceText() const { return price_->text(); }

}  // namespace kt::ui
