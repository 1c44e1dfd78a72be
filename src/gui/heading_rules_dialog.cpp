#include "gui/heading_rules_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QVBoxLayout>

#include "headings/matcher.h"
#include "headings/outline.h"
#include "runtime/encoding.h"

namespace qx::gui {
namespace {

constexpr int kOnColumn = 0;
constexpr int kKindColumn = 1;
constexpr int kRuleColumn = 2;
constexpr int kFoundColumn = 3;

const headings::Kind kKinds[] = {headings::Kind::Chapter, headings::Kind::Volume, headings::Kind::Part,
                                 headings::Kind::Special};

QString KindCaption(headings::Kind kind) {
    switch (kind) {
        case headings::Kind::Chapter:
            return QStringLiteral("章");
        case headings::Kind::Volume:
            return QStringLiteral("卷");
        case headings::Kind::Part:
            return QStringLiteral("卷或章");
        case headings::Kind::Special:
            return QStringLiteral("无编号章");
    }
    return {};
}

template <class W>
W* Named(W* w, const char* name) {
    w->setObjectName(QString::fromUtf8(name));
    return w;
}

}  // namespace

HeadingRulesDialog::HeadingRulesDialog(const headings::RuleSet& rules, QWidget* parent)
    : QDialog(parent), m_rules(rules) {
    setObjectName(QStringLiteral("标题规则窗口"));
    setWindowTitle(QStringLiteral("标题规则"));
    resize(560, 420);

    表格_标题规则 = Named(new QTableWidget(0, 4, this), "表格_标题规则");
    表格_标题规则->setHorizontalHeaderLabels(
        {QStringLiteral("启用"), QStringLiteral("类型"), QStringLiteral("规则"), QStringLiteral("找到")});
    表格_标题规则->verticalHeader()->hide();
    表格_标题规则->setSelectionBehavior(QAbstractItemView::SelectRows);
    表格_标题规则->setSelectionMode(QAbstractItemView::SingleSelection);
    表格_标题规则->setEditTriggers(QAbstractItemView::NoEditTriggers);
    表格_标题规则->horizontalHeader()->setSectionResizeMode(kRuleColumn, QHeaderView::Stretch);
    表格_标题规则->setColumnWidth(kOnColumn, 44);
    表格_标题规则->setColumnWidth(kKindColumn, 70);
    表格_标题规则->setColumnWidth(kFoundColumn, 56);

    编辑框_新规则 = Named(new QLineEdit(this), "编辑框_新规则");
    编辑框_新规则->setPlaceholderText(QStringLiteral("正则表达式，例如 ^【(?<num>\\d+)】"));
    组合框_规则类型 = Named(new QComboBox(this), "组合框_规则类型");
    for (const auto kind : kKinds)
        组合框_规则类型->addItem(KindCaption(kind));
    按钮_添加规则 = Named(new QPushButton(QStringLiteral("添加"), this), "按钮_添加规则");
    按钮_删除规则 = Named(new QPushButton(QStringLiteral("删除"), this), "按钮_删除规则");
    按钮_试用规则 = Named(new QPushButton(QStringLiteral("试用"), this), "按钮_试用规则");
    标签_试用结果 = Named(new QLabel(this), "标签_试用结果");
    标签_试用结果->setWordWrap(true);
    按钮_确定 = Named(new QPushButton(QStringLiteral("确定"), this), "按钮_确定");
    按钮_取消 = Named(new QPushButton(QStringLiteral("取消"), this), "按钮_取消");
    按钮_确定->setDefault(true);

    auto* add = new QHBoxLayout;
    add->addWidget(编辑框_新规则, 1);
    add->addWidget(组合框_规则类型);
    add->addWidget(按钮_添加规则);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(按钮_删除规则);
    buttons->addWidget(按钮_试用规则);
    buttons->addStretch(1);
    buttons->addWidget(按钮_确定);
    buttons->addWidget(按钮_取消);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("按顺序尝试，第一条认出标题的规则决定；自己的规则排在内置规则之前。"), this));
    layout->addWidget(表格_标题规则, 1);
    layout->addLayout(add);
    layout->addWidget(标签_试用结果);
    layout->addLayout(buttons);

    connect(按钮_添加规则, &QPushButton::clicked, this, &HeadingRulesDialog::OnAdd);
    connect(编辑框_新规则, &QLineEdit::returnPressed, this, &HeadingRulesDialog::OnAdd);
    connect(按钮_删除规则, &QPushButton::clicked, this, &HeadingRulesDialog::OnRemove);
    connect(按钮_试用规则, &QPushButton::clicked, this, &HeadingRulesDialog::OnTry);
    connect(按钮_确定, &QPushButton::clicked, this, &QDialog::accept);
    connect(按钮_取消, &QPushButton::clicked, this, &QDialog::reject);
    ShowRules();
}

void HeadingRulesDialog::ShowRules() {
    const auto& rules = m_rules.Rules();
    表格_标题规则->setRowCount(static_cast<int>(rules.size()));
    for (int row = 0; row < static_cast<int>(rules.size()); ++row) {
        const auto& r = rules[static_cast<std::size_t>(row)];
        auto* on = new QTableWidgetItem;
        on->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        on->setCheckState(r.enabled ? Qt::Checked : Qt::Unchecked);
        表格_标题规则->setItem(row, kOnColumn, on);
        表格_标题规则->setItem(row, kKindColumn, new QTableWidgetItem(KindCaption(r.kind)));
        auto* text = new QTableWidgetItem(QString::fromStdString(r.builtIn ? r.name : r.pattern));
        text->setToolTip(QString::fromStdString(r.pattern));
        if (r.builtIn)
            text->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
        表格_标题规则->setItem(row, kRuleColumn, text);
        表格_标题规则->setItem(row, kFoundColumn, new QTableWidgetItem);
    }
}

void HeadingRulesDialog::ReadStates() {
    auto& rules = m_rules.Rules();
    for (int row = 0; row < 表格_标题规则->rowCount() && row < static_cast<int>(rules.size()); ++row) {
        rules[static_cast<std::size_t>(row)].enabled =
            表格_标题规则->item(row, kOnColumn)->checkState() == Qt::Checked;
    }
}

headings::RuleSet HeadingRulesDialog::Rules() const {
    auto* self = const_cast<HeadingRulesDialog*>(this);
    self->ReadStates();
    return m_rules;
}

void HeadingRulesDialog::OnAdd() {
    const std::string pattern = 编辑框_新规则->text().trimmed().toStdString();
    if (pattern.empty())
        return;
    if (const auto error = headings::PatternError(pattern)) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("规则无法使用：") + QString::fromStdString(*error));
        return;
    }
    ReadStates();
    m_rules.AddUserRule(pattern, kKinds[std::max(0, 组合框_规则类型->currentIndex())]);
    编辑框_新规则->clear();
    ShowRules();
    表格_标题规则->selectRow(0);
}

void HeadingRulesDialog::OnRemove() {
    const int row = 表格_标题规则->currentRow();
    auto& rules = m_rules.Rules();
    if (row < 0 || row >= static_cast<int>(rules.size()))
        return;
    if (rules[static_cast<std::size_t>(row)].builtIn) {
        标签_试用结果->setText(QStringLiteral("内置规则不能删除，取消勾选即可停用。"));
        return;
    }
    ReadStates();
    rules.erase(rules.begin() + row);
    ShowRules();
}

void HeadingRulesDialog::OnTry() {
    const std::string text = bookText ? bookText() : std::string();
    if (text.empty()) {
        标签_试用结果->setText(QStringLiteral("请先选择文件并点击下一步载入，再试用规则。"));
        return;
    }
    ReadStates();
    const headings::Matcher matcher(m_rules);
    const auto counts = headings::CountPerRule(text, matcher);
    for (int row = 0; row < 表格_标题规则->rowCount() && row < static_cast<int>(counts.size()); ++row) {
        const bool on = m_rules.Rules()[static_cast<std::size_t>(row)].enabled;
        表格_标题规则->item(row, kFoundColumn)
            ->setText(on ? QString::number(counts[static_cast<std::size_t>(row)]) : QStringLiteral("-"));
    }
    const auto outline = headings::FindHeadings(text, matcher);
    int chapters = 0, volumes = 0;
    for (const auto& h : outline.headings)
        (h.volume ? volumes : chapters) += 1;
    标签_试用结果->setText(QStringLiteral("按这些规则：%1 章、%2 卷（另有 %3 行像标题，经核对仍算正文）")
                               .arg(chapters)
                               .arg(volumes)
                               .arg(outline.rejected));
}

}  // namespace qx::gui
