#pragma once
// The scale list as the device code sees it. SetListIndex only moves the selection; the caller
// runs the selection handler itself.
#include <string_view>

namespace devices {

class IScaleListView {
  public:
    virtual ~IScaleListView() = default;
    virtual void ClearList() = 0;
    virtual void AddListRow(std::string_view text) = 0;
    [[nodiscard]] virtual int ListCount() const = 0;
    [[nodiscard]] virtual int ListIndex() const = 0;  // -1 when no row is selected
    virtual void SetListIndex(int index) = 0;
};

}  // namespace devices
