// SPDX-License-Identifier: MIT

// A GTK 3 window as a person scrolls one: a GtkScrolledWindow over a long text, full screen, that
// prints its scroll offsets each time it paints them changed, one line each, for the device tests
// to read (offsets set and overtaken before the next paint were never seen, so never printed):
//   scroll US VERTICAL HORIZONTAL   the offsets in pixels, painted at US on CLOCK_MONOTONIC (µs)
//   ready                           laid out and shown, placed away from both ends of the text
//   enter, leave                    the pointer came onto the window, or left it
// The text is drawn a line at a time, only where it is exposed, so that drawing costs the same
// wherever the window is scrolled to.

#include <gtk/gtk.h>
#include <stdio.h>

enum { kLines = 3000, kLineHeight = 20, kWidth = 2000, kStart = 20000 /* px down */ };

static GtkAdjustment *vertical, *horizontal;

static void print_painted_offsets(GdkFrameClock* clock, gpointer unused) {
    static double painted[2] = {-1, -1};
    const double now[2] = {gtk_adjustment_get_value(vertical),
                           gtk_adjustment_get_value(horizontal)};
    if (now[0] == painted[0] && now[1] == painted[1]) return;
    painted[0] = now[0], painted[1] = now[1];
    printf("scroll %" G_GINT64_FORMAT " %g %g\n", g_get_monotonic_time(), now[0], now[1]);
}

static gboolean draw_lines(GtkWidget* area, cairo_t* cr, gpointer unused) {
    double top, bottom, left, right;
    cairo_clip_extents(cr, &left, &top, &right, &bottom);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_font_size(cr, 14);
    for (int line = (int)top / kLineHeight; line <= (int)bottom / kLineHeight && line < kLines;
         ++line) {
        char text[64];
        snprintf(text, sizeof text, "Line %d of a long text, scrolled by the wheel", line + 1);
        cairo_move_to(cr, 8, (line + 1) * kLineHeight - 5);
        cairo_show_text(cr, text);
    }
    return TRUE;
}

// Once the window is laid out and drawn: away from the text's ends, so that scrolling either
// way moves it.
static gboolean on_first_draw(GtkWidget* window, cairo_t* cr, gpointer unused) {
    static gboolean placed;
    if (placed) return FALSE;
    placed = TRUE;
    gtk_adjustment_set_value(vertical, kStart);
    g_signal_connect(gtk_widget_get_frame_clock(window), "after-paint",
                     G_CALLBACK(print_painted_offsets), NULL);
    printf("ready\n");
    return FALSE;
}

static gboolean on_crossing(GtkWidget* window, GdkEventCrossing* event, gpointer unused) {
    if (event->detail != GDK_NOTIFY_INFERIOR)  // not a move between the window's own parts
        printf(event->type == GDK_ENTER_NOTIFY ? "enter\n" : "leave\n");
    return FALSE;
}

int main(int argc, char** argv) {
    setvbuf(stdout, NULL, _IOLBF, 0);
    gtk_init(&argc, &argv);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    GtkWidget* text = gtk_drawing_area_new();
    gtk_widget_set_size_request(text, kWidth, kLines * kLineHeight);
    g_signal_connect(text, "draw", G_CALLBACK(draw_lines), NULL);
    GtkWidget* scrolled = gtk_scrolled_window_new(NULL, NULL);
    gtk_container_add(GTK_CONTAINER(scrolled), text);
    gtk_container_add(GTK_CONTAINER(window), scrolled);
    vertical = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrolled));
    horizontal = gtk_scrolled_window_get_hadjustment(GTK_SCROLLED_WINDOW(scrolled));
    gtk_widget_add_events(window, GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK);
    g_signal_connect(window, "enter-notify-event", G_CALLBACK(on_crossing), NULL);
    g_signal_connect(window, "leave-notify-event", G_CALLBACK(on_crossing), NULL);
    g_signal_connect_after(window, "draw", G_CALLBACK(on_first_draw), NULL);
    gtk_window_fullscreen(GTK_WINDOW(window));
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
