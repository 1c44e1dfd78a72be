#pragma once
// The heading rules of headings mode (按标题分章): each rule with its on/off
// state, the user's own rules added and removed, and a try on the loaded
// book that shows how many headings each rule finds. Every widget's
// objectName is its control name.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <functional>
#include <string>

#include "headings/heading_rules.h"

namespace qx::gui {

class HeadingRulesDialog : public QDialog {
    Q_OBJECT
public:
    HeadingRulesDialog(const headings::RuleSet& rules, QWidget* parent = nullptr);

    // The rules as the dialog shows them now.
    headings::RuleSet Rules() const;
    // The working text of the loaded book (GBK) for the try; empty when no
    // book is loaded.
    std::function<std::string()> bookText;

    // Adds the pattern of 编辑框_新规则 (of the kind 组合框_规则类型 shows) in
    // front of the others; a pattern that does not compile is told instead.
    void OnAdd();
    void OnRemove();
    void OnTry();

    QTableWidget* 表格_标题规则 = nullptr;  // columns: on, kind, rule, headings found
    QLineEdit* 编辑框_新规则 = nullptr;
    QComboBox* 组合框_规则类型 = nullptr;
    QPushButton* 按钮_添加规则 = nullptr;
    QPushButton* 按钮_删除规则 = nullptr;
    QPushButton* 按钮_试用规则 = nullptr;
    QLabel* 标签_试用结果 = nullptr;
    QPushButton* 按钮_确定 = nullptr;
    QPushButton* 按钮_取消 = nullptr;

private:
    void ShowRules();
    void ReadStates();

    headings::RuleSet m_rules;
};

}  // namespace qx::gui
