// The response graph as assistive technology sees it: a chart named after the section it shows,
// with one item per band handle that tells the band's frequency and gain and where the handle
// sits on screen. Dragging stays a pointer action; the band fields do the same by keyboard.
#pragma once

namespace quellaton {

class ResponseGraph;

// Makes queryAccessibleInterface answer for response graphs with the interface above. Called by
// the graph itself; the first call installs it.
void InstallGraphAccessibility();

// Tells assistive technology that the handles of rows first..last (0..5) of the shown section
// moved or got new values.
void AnnounceGraphHandles(ResponseGraph* graph, int firstRow, int lastRow);
// Tells assistive technology that the graph shows another section (its name and all handles).
void AnnounceGraphSection(ResponseGraph* graph);
// Tells assistive technology that the view or its overlays changed (the description).
void AnnounceGraphView(ResponseGraph* graph);

} // namespace quellaton
