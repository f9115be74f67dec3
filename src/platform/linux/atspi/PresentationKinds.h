#pragma once
// What the presentations of each kind share, and where each is defined: AT-SPI objects in
// ObjectPresentations.cpp, the application menu's chain in ChainPresentations.cpp, the elements the tree
// makes up for itself in ElementPresentations.cpp (with the one switch over the kinds).

#include "platform/linux/atspi/ElementPresentations.h"

namespace quoddle {

class AtspiTree;

namespace presentations {

using Children = std::optional<std::vector<ax::ElementRef>>;
using Names = ax::Result<std::vector<ax::Attribute>>;

inline const std::vector<ax::Attribute> kStructure{ax::Attribute::role, ax::Attribute::children,
                                                   ax::Attribute::parent};
inline const std::vector<ax::Attribute> kStructureOfItems{ax::Attribute::role, ax::Attribute::children,
                                                          ax::Attribute::parent, ax::Attribute::title,
                                                          ax::Attribute::enabled};

// An element of the application menu's chain (see AtspiElementKind), which stands on the application object.
ax::ElementRef chainElement(AtspiTree& tree, AtspiElementKind kind, const AtspiElement& of);

const ElementPresentation& object();
const ElementPresentation& application();
const ElementPresentation& menuOfMenu();
const ElementPresentation& menuBarOfApplication();
const ElementPresentation& applicationMenuItem();
const ElementPresentation& applicationMenu();
const ElementPresentation& servicesMenuItem();
const ElementPresentation& servicesMenu();
const ElementPresentation& desktopService();

} // namespace presentations
} // namespace quoddle
