#include "playback/AsfCardSource.h"

#include "playback/AsfLayout.h"

#include <QFile>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gst/base/gstbasesrc.h>
#include <gst/gst.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kScheme[] = "asfcard";

struct AsfCardSrc {
    GstBaseSrc parent;
    gchar* uri;
    gchar* location;
    int fd;
    guint64 size;
    asf::Layout* layout; // null when the file is served exactly as it is
};

struct AsfCardSrcClass {
    GstBaseSrcClass parent_class;
};

void asf_card_src_uri_handler_init(gpointer iface, gpointer data);

G_DEFINE_TYPE_WITH_CODE(AsfCardSrc, asf_card_src, GST_TYPE_BASE_SRC,
                        G_IMPLEMENT_INTERFACE(GST_TYPE_URI_HANDLER, asf_card_src_uri_handler_init))

AsfCardSrc* Self(gpointer object) {
    return reinterpret_cast<AsfCardSrc*>(object);
}

asf::ReadAt ReaderOf(int fd) {
    return [fd](uint64_t offset, uint8_t* buffer, size_t length) -> int64_t {
        for (;;) {
            const ssize_t got = pread(fd, buffer, length, off_t(offset));
            if (got >= 0 || errno != EINTR)
                return got;
        }
    };
}

GstStaticPadTemplate kSrcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);

void asf_card_src_finalize(GObject* object) {
    AsfCardSrc* self = Self(object);
    g_free(self->uri);
    g_free(self->location);
    delete self->layout;
    G_OBJECT_CLASS(asf_card_src_parent_class)->finalize(object);
}

gboolean asf_card_src_start(GstBaseSrc* base) {
    AsfCardSrc* self = Self(base);
    if (!self->location) {
        GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("No file name given."), (nullptr));
        return FALSE;
    }
    self->fd = open(self->location, O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (self->fd < 0 || fstat(self->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        if (self->fd >= 0)
            close(self->fd);
        self->fd = -1;
        GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ,
                          ("Could not open file \"%s\".", self->location),
                          ("%s", g_strerror(error)));
        return FALSE;
    }
    self->size = guint64(st.st_size);
    if (auto layout = asf::ReadLayout(ReaderOf(self->fd), self->size)) {
        self->layout = new asf::Layout(std::move(*layout));
        self->size = std::min<guint64>(self->size, self->layout->servedSize);
    }
    return TRUE;
}

gboolean asf_card_src_stop(GstBaseSrc* base) {
    AsfCardSrc* self = Self(base);
    if (self->fd >= 0)
        close(self->fd);
    self->fd = -1;
    delete self->layout;
    self->layout = nullptr;
    return TRUE;
}

gboolean asf_card_src_get_size(GstBaseSrc* base, guint64* size) {
    AsfCardSrc* self = Self(base);
    if (self->fd < 0)
        return FALSE;
    *size = self->size;
    return TRUE;
}

gboolean asf_card_src_is_seekable(GstBaseSrc*) {
    return TRUE;
}

GstFlowReturn asf_card_src_fill(GstBaseSrc* base, guint64 offset, guint length, GstBuffer* buffer) {
    AsfCardSrc* self = Self(base);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE))
        return GST_FLOW_ERROR;
    const size_t wanted = std::min<size_t>(length, map.size);
    const asf::ReadAt direct = ReaderOf(self->fd);
    size_t done = 0;
    while (done < wanted) {
        const int64_t got = self->layout ? self->layout->ReadServed(direct, offset + done,
                                                                    map.data + done, wanted - done)
                                         : direct(offset + done, map.data + done, wanted - done);
        if (got < 0) {
            const int error = errno;
            gst_buffer_unmap(buffer, &map);
            GST_ELEMENT_ERROR(self, RESOURCE, READ, (nullptr),
                              ("reading %s: %s", self->location, g_strerror(error)));
            return GST_FLOW_ERROR;
        }
        if (got == 0)
            break;
        done += size_t(got);
    }
    gst_buffer_unmap(buffer, &map);
    if (done == 0)
        return GST_FLOW_EOS;
    gst_buffer_resize(buffer, 0, gssize(done));
    GST_BUFFER_OFFSET(buffer) = offset;
    GST_BUFFER_OFFSET_END(buffer) = offset + done;
    return GST_FLOW_OK;
}

// Without an index the demuxer asks its source where a time lies before it guesses from the
// packet count; the guess lands seconds away on a recording of varying bit rate.
gboolean asf_card_src_query(GstBaseSrc* base, GstQuery* query) {
    AsfCardSrc* self = Self(base);
    if (GST_QUERY_TYPE(query) == GST_QUERY_CONVERT && self->layout && self->fd >= 0) {
        GstFormat from = GST_FORMAT_UNDEFINED, to = GST_FORMAT_UNDEFINED;
        gint64 value = 0;
        gst_query_parse_convert(query, &from, &value, &to, nullptr);
        if (from == GST_FORMAT_TIME && to == GST_FORMAT_BYTES && value >= 0) {
            if (const auto offset =
                    self->layout->OffsetForTime(ReaderOf(self->fd), guint64(value))) {
                gst_query_set_convert(query, from, value, to, gint64(*offset));
                return TRUE;
            }
        }
    }
    return GST_BASE_SRC_CLASS(asf_card_src_parent_class)->query(base, query);
}

void asf_card_src_class_init(AsfCardSrcClass* klass) {
    GObjectClass* object = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseSrcClass* source = GST_BASE_SRC_CLASS(klass);
    object->finalize = asf_card_src_finalize;
    gst_element_class_add_static_pad_template(element, &kSrcTemplate);
    gst_element_class_set_static_metadata(
        element, "Card ASF source", "Source/File",
        "Reads an ASF recording, mending a header left unfinished", "player");
    source->start = asf_card_src_start;
    source->stop = asf_card_src_stop;
    source->get_size = asf_card_src_get_size;
    source->is_seekable = asf_card_src_is_seekable;
    source->fill = asf_card_src_fill;
    source->query = asf_card_src_query;
}

void asf_card_src_init(AsfCardSrc* self) {
    self->fd = -1;
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_BYTES);
}

GstURIType asf_card_src_uri_type(GType) {
    return GST_URI_SRC;
}

const gchar* const* asf_card_src_protocols(GType) {
    static const gchar* const protocols[] = {kScheme, nullptr};
    return protocols;
}

gchar* asf_card_src_get_uri(GstURIHandler* handler) {
    return g_strdup(Self(handler)->uri);
}

gboolean asf_card_src_set_uri(GstURIHandler* handler, const gchar* uri, GError** error) {
    AsfCardSrc* self = Self(handler);
    QUrl url(QString::fromUtf8(uri));
    if (url.scheme() != QLatin1String(kScheme)) {
        g_set_error(error, GST_URI_ERROR, GST_URI_ERROR_BAD_URI, "not an %s URI", kScheme);
        return FALSE;
    }
    url.setScheme(QStringLiteral("file"));
    const QByteArray location = QFile::encodeName(url.toLocalFile());
    if (location.isEmpty()) {
        g_set_error(error, GST_URI_ERROR, GST_URI_ERROR_BAD_URI, "no file in URI");
        return FALSE;
    }
    g_free(self->uri);
    g_free(self->location);
    self->uri = g_strdup(uri);
    self->location = g_strdup(location.constData());
    return TRUE;
}

void asf_card_src_uri_handler_init(gpointer iface, gpointer) {
    auto* handler = static_cast<GstURIHandlerInterface*>(iface);
    handler->get_type = asf_card_src_uri_type;
    handler->get_protocols = asf_card_src_protocols;
    handler->get_uri = asf_card_src_get_uri;
    handler->set_uri = asf_card_src_set_uri;
}

} // namespace

namespace AsfCardSource {

void Register() {
    static std::once_flag once;
    std::call_once(once, [] {
        gst_element_register(nullptr, "asfcardsrc", GST_RANK_PRIMARY, asf_card_src_get_type());
    });
}

QByteArray UriFor(const QString& absolutePath) {
    QUrl url = QUrl::fromLocalFile(absolutePath);
    url.setScheme(QLatin1String(kScheme));
    return url.toEncoded();
}

bool LooksLikeAsf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray start = file.read(28);
    return asf::StartsLikeAsf(reinterpret_cast<const uint8_t*>(start.constData()),
                              size_t(start.size()));
}

} // namespace AsfCardSource
