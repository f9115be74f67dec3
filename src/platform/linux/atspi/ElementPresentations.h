#pragma once
// How each kind of element (AtspiElementKind) answers the accessibility port: its role, children, parent,
// attributes and actions, each kind in one class (PresentationKinds.h says where). presentationOf holds the
// one switch over the kinds, so a kind added without its presentation is a compile error.

#include "platform/Accessibility.h"
#include "platform/linux/atspi/AtspiElement.h"

#include <optional>
#include <vector>

namespace quoddle {

class AtspiTree;

class ElementPresentation {
public:
    virtual ~ElementPresentation() = default;
    // None when it cannot be read now.
    virtual std::optional<ax::Role> role(AtspiTree& tree, const AtspiElement& element) const = 0;
    virtual std::optional<std::vector<ax::ElementRef>> children(AtspiTree& tree,
                                                                const AtspiElement& element) const;
    virtual ax::ElementRef parent(AtspiTree& tree, const AtspiElement& element) const;
    // By default an element answers its role, children and parent.
    virtual ax::Result<ax::Value> attribute(AtspiTree& tree, const AtspiElement& element,
                                            ax::Attribute name) const;
    virtual ax::Result<std::vector<ax::Attribute>> attributeNames(AtspiTree& tree,
                                                                  const AtspiElement& element) const;
    virtual ax::Result<std::vector<ax::Action>> actionNames(AtspiTree& tree,
                                                            const AtspiElement& element) const;
    virtual ax::Error press(AtspiTree& tree, const AtspiElement& element) const;
};

const ElementPresentation& presentationOf(AtspiElementKind kind);

} // namespace quoddle
