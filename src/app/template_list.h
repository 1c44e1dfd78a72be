#pragma once
// The template selection list of page "输出" as a model: the items of the
// list with tick boxes (选择列表框_模板), the selected-template list whose
// order is the output order, the three counters and the enabled states of
// the order buttons. The widgets only mirror it.

#include <string>
#include <vector>

#include "runtime/gbk_text.h"

namespace qx::app {

using runtime::Text;

class TemplateList {
public:
    struct Item {
        Text name;
        bool ticked = false;
    };

    // Start-up: the installed templates, unticked, in the given order.
    void SetInstalled(std::vector<Text> names);
    // Start-up: ticks the names of a "|"-joined setting that exist, in the
    // setting's order; unknown and empty names are dropped. Then shows the
    // list length as the current number and auto-orders.
    void RestoreSelection(const Text& setting);

    // Events of the list and the five order buttons.
    void TickChanged(int item, bool ticked);
    void CurrentChanged(int item);
    void MinusOne();   // 按钮_编号减一
    void PlusOne();    // 按钮_编号加一
    void ToFront();    // 按钮_移至队首
    void ToBack();     // 按钮_移至队尾
    void AutoOrder();  // 按钮_模板自动排序

    const std::vector<Item>& Items() const { return m_items; }
    const std::vector<Text>& Selected() const { return m_selected; }
    int Current() const { return m_current; }  // current item index, -1 for none
    int AvailableCount() const { return static_cast<int>(m_items.size()); }  // 标签_可用模板数量
    int SelectedCount() const { return static_cast<int>(m_selected.size()); }  // 标签_已选模板数量
    const Text& CurrentNumberText() const { return m_numberText; }  // 标签_在选模板编号
    bool NumberLabelsVisible() const { return m_numberVisible; }   // 标签_编号标签 and the number
    bool MinusEnabled() const { return m_minus; }
    bool PlusEnabled() const { return m_plus; }
    bool FrontEnabled() const { return m_front; }
    bool BackEnabled() const { return m_back; }
    bool AutoOrderEnabled() const { return m_autoOrder; }

private:
    void UpdateOrderButtons(int n);
    int NumberOf(const Text& name) const;  // position in the selection from 1, 0 when absent
    // Runs after an order button changed the selection.
    void AfterMove(int newNumber);

    std::vector<Item> m_items;
    std::vector<Text> m_selected;
    int m_current = -1;
    Text m_numberText = "0";
    bool m_numberVisible = false;
    bool m_minus = false, m_plus = true, m_front = false, m_back = true, m_autoOrder = true;
};

}  // namespace qx::app
