#pragma once

#include <QImage>

// The images of the parameter dialog's direction button (1000): a black capital P on white,
// 32 x 32 pixels. Directions 0 to 3 turn the upright letter by that many quarter turns
// anticlockwise; 4 to 7 mirror it left to right first. Other values wrap modulo 8.
QImage directionImage(int direction);
