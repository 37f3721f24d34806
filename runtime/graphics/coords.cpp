// Coordinate systems: the WINDOW scaling of a page.
#include <utility>

#include "graphics/graphics.h"

void window_screen_form(img_struct* im, float x1, float y1, float x2, float y2) {
  // The graphics cursor in view pixels, kept over the change.
  float cx = im->x;
  float cy = im->y;
  if (im->coord_mode == 2) {
    cx = im->x * im->window_scale_x + im->window_offset_x;
    cy = im->y * im->window_scale_y + im->window_offset_y;
  }
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const bool whole_page = x1 == 0 && y1 == 0 && x2 == static_cast<float>(im->width - 1) &&
                          y2 == static_cast<float>(im->height - 1);
  if (x1 != x2 && y1 != y2) {
    im->coord_mode = 2;
    im->window_scale_x = static_cast<float>(im->view_x2 - im->view_x1) / (x2 - x1);
    im->window_scale_y = static_cast<float>(im->view_y2 - im->view_y1) / (y2 - y1);
    im->window_offset_x = -x1 * im->window_scale_x;
    im->window_offset_y = -y1 * im->window_scale_y;
    im->window_x1 = x1;
    im->window_y1 = y1;
    im->window_x2 = x2;
    im->window_y2 = y2;
    const bool identity = whole_page && im->window_scale_x == 1.0f && im->window_scale_y == 1.0f &&
                          im->window_offset_x == 0.0f && im->window_offset_y == 0.0f;
    if (!identity) {
      im->x = (cx - im->window_offset_x) / im->window_scale_x;
      im->y = (cy - im->window_offset_y) / im->window_scale_y;
      return;
    }
  }
  // Back to plain view coordinates.
  im->coord_mode = 1;
  im->window_scale_x = im->window_scale_y = 1.0f;
  im->window_offset_x = im->window_offset_y = 0.0f;
  im->window_x1 = im->window_y1 = 0.0f;
  im->window_x2 = static_cast<float>(im->width - 1);
  im->window_y2 = static_cast<float>(im->height - 1);
  if (im->view_x1 == 0 && im->view_y1 == 0 && im->view_x2 == im->width - 1 &&
      im->view_y2 == im->height - 1 && im->view_offset_x == 0 && im->view_offset_y == 0) {
    im->coord_mode = 0;
  }
  im->x = cx;
  im->y = cy;
}
