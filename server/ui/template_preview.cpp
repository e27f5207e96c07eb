#include "server/ui/template_preview.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>

#include <vector>

#include "common/display/drawing.h"
#include "common/text/text.h"
#include "server/data/global_variable.h"
#include "server/data/item_lookup.h"
#include "server/data/messages.h"
#include "server/data/pricing/lookup_pricing.h"
#include "server/ui/display_view.h"

namespace kt::ui {
namespace {

// How many items the search for the first one that prices tries before it gives up.
constexpr int kItemsTried = 200;
// Notes shown under a field; more are counted.
constexpr std::size_t kNotesShown = 3;
// Bytes to a hex line: as wide as the display above it.
constexpr std::size_t kHexPerLine = 8;

QString FromBytes(std::string_view s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
std::string ToBytes(const QString& s) { return s.toLatin1().toStdString(); }

const char* const kNames[] = {"CONNECTED", "SCANOK", "SCANGAGAL"};
const char* const kTitles[] = {"Connected", "Scan OK", "Scan Gagal"};

}  // namespace

TemplatePreview::TemplatePreview(data::GLOBALVARIABLE& globals, QWidget* parent)
    : QWidget(parent), lookup_(std::make_unique<data::ITEMPENJUAECERAN>(globals, NullEventSink())) {
  setObjectName("PREVIEW");
  code_ = new QLineEdit(this);
  code_->setObjectName("PREVIEW_CODE");
  code_->setPlaceholderText(QStringLiteral("kode item"));
  code_->setFixedWidth(130);
  hex_toggle_ = new QCheckBox(QStringLiteral("Hex"), this);
  hex_toggle_->setObjectName("PREVIEW_HEX");
  source_ = new QLabel(this);
  source_->setObjectName("PREVIEW_ITEM");
  source_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(QStringLiteral("Kode :"), this));
  top->addWidget(code_);
  top->addStretch(1);
  top->addWidget(hex_toggle_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  layout->addLayout(top);
  layout->addWidget(source_);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (int i = 0; i < kTemplates; ++i) {
    Part& part = parts_[static_cast<std::size_t>(i)];
    part.display = new DisplayView(this);
    part.display->setObjectName(QStringLiteral("PREVIEW_%1").arg(QLatin1String(kNames[i])));
    part.hex = new QPlainTextEdit(this);
    part.hex->setObjectName(QStringLiteral("PREVIEW_HEX_%1").arg(QLatin1String(kNames[i])));
    part.hex->setReadOnly(true);
    part.hex->setFont(fixed);
    part.hex->setLineWrapMode(QPlainTextEdit::NoWrap);
    part.hex->setFixedHeight(QFontMetrics(fixed).lineSpacing() * 3 + 16);
    part.hex->setVisible(false);
    part.note = new QLabel(this);
    part.note->setObjectName(QStringLiteral("NOTE_%1").arg(QLatin1String(kNames[i])));
    part.note->setStyleSheet(QStringLiteral("color: #b00020;"));
    part.note->setWordWrap(true);
    part.note->setVisible(false);
    layout->addWidget(new QLabel(QLatin1String(kTitles[i]), this));
    layout->addWidget(part.display);
    layout->addWidget(part.hex);
  }
  layout->addStretch(1);

  connect(code_, &QLineEdit::textEdited, this, &TemplatePreview::useCode);
  connect(hex_toggle_, &QCheckBox::toggled, this, &TemplatePreview::showHex);

  lookup_->CSTOCK = "STOCKPRV";
  lookup_->CPELANG = "PELANGPRV";
  lookup_->CPELSTK = "PELSTKPRV";
  lookup_->CSTKHJL = "STKHJLPRV";
  lookup_->CSTKPRO = "STKPROPRV";
  lookup_->CKURSMA = "KURSMAPRV";
  default_item_ = {std::string(kSampleName), std::string(kSampleName), "", ""};
  default_price_ = std::string(kSamplePrice);
  tables_open_ = globals.IsDatabaseOpen() && lookup_->DBSUBOPEN();
  if (tables_open_) findFirstPricingItem();
  useCode({});
}

TemplatePreview::~TemplatePreview() { lookup_->DBSUBCLOSE(); }

void TemplatePreview::findFirstPricingItem() {
  // The codes of the first records in table order; each lookup moves the area, so read them first.
  const std::vector<std::string> codes = lookup_->FirstCodes(kItemsTried);
  for (const std::string& code : codes) {
    if (lookUp(code)) {
      default_item_ = item_;
      default_price_ = price_;
      return;
    }
  }
}

bool TemplatePreview::lookUp(const std::string& code) {
  lookup_->SEEKKODE(code);
  if (!lookup_->SEEKFOUND()) {
    error_text_ = lookup_->CERRORMESS;
    return false;
  }
  const data::RECITEM& rec = lookup_->ORECITEM;
  item_ = {rec.CNAMAALL, rec.CNAMA, rec.CNAMAEX1, rec.CNAMAEX2};
  price_ = data::pricing::LookupPriceText(*lookup_);
  return true;
}

void TemplatePreview::useCode(const QString& typed) {
  const std::string code(text::Trim(ToBytes(typed)));
  item_ = default_item_;
  price_ = default_price_;
  error_text_ = std::string(kSampleCode) + std::string(data::msg::kCodeNotFound);
  QString source;
  if (!code.empty() && tables_open_) {
    if (lookUp(code)) {
      source = QStringLiteral("Item: %1").arg(FromBytes(item_.CNAMAALL));
    } else {
      source = FromBytes(error_text_);  // the failure shows this code's error
    }
  } else if (!code.empty()) {
    source = QStringLiteral("Tidak ada database: contoh item");
  } else {
    source = tables_open_ && default_item_.CNAMA != kSampleName ? QStringLiteral("Item: %1").arg(FromBytes(item_.CNAMAALL))
                                                                 : QStringLiteral("Contoh item (tanpa database)");
  }
  // One line as wide as a display; the whole text in the tooltip.
  const int width = parts_[0].display->sizeHint().width();
  source_->setText(source_->fontMetrics().elidedText(source, Qt::ElideRight, width));
  source_->setToolTip(source);
  refreshAll();
}

void TemplatePreview::attach(Template which, QPlainTextEdit* field) {
  parts_[which].field = field;
  connect(field, &QPlainTextEdit::textChanged, this, [this, which] { refresh(which); });
  refresh(which);
}

void TemplatePreview::refreshAll() {
  for (int i = 0; i < kTemplates; ++i) refresh(static_cast<Template>(i));
}

void TemplatePreview::showHex(bool on) {
  for (Part& part : parts_) part.hex->setVisible(on);
  if (on) refreshAll();
}

void TemplatePreview::refresh(Template which) {
  Part& part = parts_[which];
  if (part.field == nullptr) return;
  // Stored templates lose their trailing blanks; show what will be sent.
  const std::string tmpl(text::TrimRight(ToBytes(part.field->toPlainText())));
  const reply::ItemTexts no_item{};
  std::vector<reply::PassedThrough> places;
  reply::ExpandInputs in;
  in.passed_through = &places;
  if (which != kConnected) {
    in.item = which == kScanOk ? &item_ : &no_item;
    in.price_text = [this] { return price_; };
  }
  if (which == kScanFailed) in.error_text = error_text_;
  part.stream = reply::ExpandTemplate(tmpl, in);
  part.display->setStream(part.stream);
  if (part.hex->isVisible()) part.hex->setPlainText(FromBytes(display::HexBytes(part.stream, "\n", kHexPerLine)));

  QList<QTextEdit::ExtraSelection> marks;
  QStringList notes;
  QTextCharFormat mark;
  mark.setUnderlineStyle(QTextCharFormat::WaveUnderline);
  mark.setUnderlineColor(QColor(0xb0, 0x00, 0x20));
  mark.setBackground(QColor(0xff, 0xe4, 0xe4));
  for (const reply::PassedThrough& place : places) {
    QTextEdit::ExtraSelection selection;
    selection.cursor = QTextCursor(part.field->document());
    selection.cursor.setPosition(static_cast<int>(place.position));
    selection.cursor.setPosition(static_cast<int>(place.position + place.length), QTextCursor::KeepAnchor);
    selection.format = mark;
    marks.append(selection);
    if (static_cast<std::size_t>(notes.size()) < kNotesShown) {
      notes.append(QStringLiteral("%1: %2").arg(place.position + 1).arg(FromBytes(reply::DescribePassedThrough(place, tmpl))));
    }
  }
  if (places.size() > kNotesShown) notes.append(QStringLiteral("... %1 more").arg(places.size() - kNotesShown));
  part.field->setExtraSelections(marks);
  part.note->setText(notes.join(QLatin1Char('\n')));
  part.note->setVisible(!notes.isEmpty());
}

}  // namespace kt::ui
