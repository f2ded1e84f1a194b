// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>
#include <memory>

// Owning handles for GStreamer objects: one reference each, given back on destruction.
struct GstObjectUnref {
    void operator()(gpointer object) const {
        if (object)
            gst_object_unref(object);
    }
};
struct GstSampleUnref {
    void operator()(GstSample* sample) const {
        if (sample)
            gst_sample_unref(sample);
    }
};
struct GstCapsUnref {
    void operator()(GstCaps* caps) const {
        if (caps)
            gst_caps_unref(caps);
    }
};
struct GstMessageUnref {
    void operator()(GstMessage* message) const {
        if (message)
            gst_message_unref(message);
    }
};

using GstElementPtr = std::unique_ptr<GstElement, GstObjectUnref>;
using GstBusPtr = std::unique_ptr<GstBus, GstObjectUnref>;
using GstPadPtr = std::unique_ptr<GstPad, GstObjectUnref>;
using GstSamplePtr = std::unique_ptr<GstSample, GstSampleUnref>;
using GstCapsPtr = std::unique_ptr<GstCaps, GstCapsUnref>;
using GstMessagePtr = std::unique_ptr<GstMessage, GstMessageUnref>;

// A new owned reference to an element someone else holds.
inline GstElementPtr RefElement(GstElement* element) {
    return GstElementPtr(element ? GST_ELEMENT(gst_object_ref(element)) : nullptr);
}
