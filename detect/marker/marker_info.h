// One detected square marker, as reported by detectMarkers.
#pragma once

struct MarkerInfo {
    int area;               // pixel count of the dark region
    int id;                 // pattern id of the best match; -1 when not identified
    int direction;          // orientation 0..3 of the best template; -1 when none correlates
    double cf;              // confidence: normalised correlation of the best match
    double centre[2];       // region centroid x, y (observed pixels)
    double edgeLine[4][3];  // edge i: a x + b y + c = 0, (a, b) unit normal, ideal coordinates
    double vertex[4][2];    // corner i = edgeLine[(i+3)%4] x edgeLine[i], ideal coordinates
};
