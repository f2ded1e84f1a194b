// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/AsfCardSource.h"

#include "formats/AsfLayout.h"
#include "playback/HandOver.h"

#include <QFile>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gst/base/gstbasesrc.h>
#include <gst/gst.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kScheme[] = "asfcard";

// The open file and what we know of it, unchanged once the source has started. Lookups (a
// seek's, on the engine's wait worker) and the demuxer's reads (the streaming thread) each hold
// their own reference, so stopping the source never closes the file under them.
struct Card {
    QByteArray location;
    int fd = -1;
    guint64 size = 0;
    std::optional<asf::Layout> layout; // none: the file is served exactly as it is
    ~Card() {
        if (fd >= 0)
            close(fd);
    }
};

// The layout read at the last start, and of which file. While a recording opens, the
// demuxer's activation stops and starts the source a few times in a row, and each reading of
// the layout takes several reads of the card: seconds on a slow one.
struct LastLayout {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    timespec mtime{};
    gint64 readAt = 0; // monotonic microseconds
    std::optional<asf::Layout> layout;
};

// How long after it was read a layout serves a restart: the activation's restarts, not a
// later play of a file that may have been replaced meanwhile.
constexpr gint64 kLayoutReuseUs = 2 * G_USEC_PER_SEC;

struct AsfCardSrc {
    GstBaseSrc parent;
    gchar* uri;
    gchar* location;
    // Guarded by cardMutex (a standard one, which the thread checker sees); empty while
    // stopped.
    std::shared_ptr<Card>* card;
    std::mutex* cardMutex;
    LastLayout* last; // used by start only, under lastMutex
    std::mutex* lastMutex;
    // uri, location: set by set_uri, read by start and get_uri; under cardMutex
};

struct AsfCardSrcClass {
    GstBaseSrcClass parent_class;
};

void asf_card_src_uri_handler_init(gpointer iface, gpointer data);

G_DEFINE_TYPE_WITH_CODE(AsfCardSrc, asf_card_src, GST_TYPE_BASE_SRC,
                        G_IMPLEMENT_INTERFACE(GST_TYPE_URI_HANDLER, asf_card_src_uri_handler_init))

// Every entry of GStreamer's into the element goes through here: it may come on any of its
// threads, after init made the element on another.
AsfCardSrc* Self(gpointer object) {
    PLAYER_TAKEN_OVER(object);
    return reinterpret_cast<AsfCardSrc*>(object);
}

std::shared_ptr<Card> CardOf(AsfCardSrc* self) {
    const std::lock_guard lock(*self->cardMutex);
    return *self->card;
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
    delete self->card;
    delete self->cardMutex;
    delete self->last;
    delete self->lastMutex;
    G_OBJECT_CLASS(asf_card_src_parent_class)->finalize(object);
}

// The layout of the file open as `fd`, read again unless it was read moments ago and the
// file is still the same one, unchanged.
std::optional<asf::Layout> LayoutOf(AsfCardSrc* self, int fd, const struct stat& st) {
    // Starts come one at a time (the state changes serialise them), but not always on the
    // same thread.
    const std::lock_guard lock(*self->lastMutex);
    LastLayout& last = *self->last;
    const gint64 now = g_get_monotonic_time();
    const bool sameFile = last.dev == st.st_dev && last.ino == st.st_ino &&
                          last.size == st.st_size && last.mtime.tv_sec == st.st_mtim.tv_sec &&
                          last.mtime.tv_nsec == st.st_mtim.tv_nsec;
    if (last.layout && sameFile && now - last.readAt < kLayoutReuseUs)
        return last.layout;
    last.dev = st.st_dev;
    last.ino = st.st_ino;
    last.size = st.st_size;
    last.mtime = st.st_mtim;
    last.readAt = now;
    last.layout = asf::ReadLayout(ReaderOf(fd), guint64(st.st_size));
    return last.layout;
}

gboolean asf_card_src_start(GstBaseSrc* base) {
    AsfCardSrc* self = Self(base);
    QByteArray location;
    {
        const std::lock_guard lock(*self->cardMutex);
        location = self->location;
    }
    if (location.isEmpty()) {
        GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("No file name given."), (nullptr));
        return FALSE;
    }
    auto card = std::make_shared<Card>();
    card->location = location;
    card->fd = open(location.constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (card->fd < 0 || fstat(card->fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = card->fd < 0 ? errno : EISDIR;
        GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ,
                          ("Could not open file \"%s\".", location.constData()),
                          ("%s", g_strerror(error)));
        return FALSE;
    }
    card->size = guint64(st.st_size);
    card->layout = LayoutOf(self, card->fd, st);
    if (card->layout)
        card->size = std::min<guint64>(card->size, card->layout->servedSize);
    const std::lock_guard lock(*self->cardMutex);
    *self->card = std::move(card);
    return TRUE;
}

gboolean asf_card_src_stop(GstBaseSrc* base) {
    AsfCardSrc* self = Self(base);
    const std::lock_guard lock(*self->cardMutex);
    self->card->reset();
    return TRUE;
}

gboolean asf_card_src_get_size(GstBaseSrc* base, guint64* size) {
    const std::shared_ptr<Card> card = CardOf(Self(base));
    if (!card)
        return FALSE;
    *size = card->size;
    return TRUE;
}

gboolean asf_card_src_is_seekable(GstBaseSrc*) {
    return TRUE;
}

GstFlowReturn asf_card_src_fill(GstBaseSrc* base, guint64 offset, guint length, GstBuffer* buffer) {
    AsfCardSrc* self = Self(base);
    const std::shared_ptr<Card> card = CardOf(self);
    GstMapInfo map;
    if (!card || !gst_buffer_map(buffer, &map, GST_MAP_WRITE))
        return GST_FLOW_ERROR;
    const size_t wanted = std::min<size_t>(length, map.size);
    const asf::ReadAt direct = ReaderOf(card->fd);
    size_t done = 0;
    while (done < wanted) {
        const int64_t got = card->layout ? card->layout->ReadServed(direct, offset + done,
                                                                    map.data + done, wanted - done)
                                         : direct(offset + done, map.data + done, wanted - done);
        if (got < 0) {
            const int error = errno;
            gst_buffer_unmap(buffer, &map);
            GST_ELEMENT_ERROR(self, RESOURCE, READ, (nullptr),
                              ("reading %s: %s", card->location.constData(), g_strerror(error)));
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
    const std::shared_ptr<Card> card =
        GST_QUERY_TYPE(query) == GST_QUERY_CONVERT ? CardOf(Self(base)) : nullptr;
    if (card && card->layout) {
        GstFormat from = GST_FORMAT_UNDEFINED, to = GST_FORMAT_UNDEFINED;
        gint64 value = 0;
        gst_query_parse_convert(query, &from, &value, &to, nullptr);
        if (from == GST_FORMAT_TIME && to == GST_FORMAT_BYTES && value >= 0) {
            if (const auto offset =
                    card->layout->OffsetForTime(ReaderOf(card->fd), guint64(value))) {
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
    self->card = new std::shared_ptr<Card>();
    self->cardMutex = new std::mutex();
    self->last = new LastLayout();
    self->lastMutex = new std::mutex();
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_BYTES);
    PLAYER_HANDED_OVER(self);
}

GstURIType asf_card_src_uri_type(GType) {
    return GST_URI_SRC;
}

const gchar* const* asf_card_src_protocols(GType) {
    static const gchar* const protocols[] = {kScheme, nullptr};
    return protocols;
}

gchar* asf_card_src_get_uri(GstURIHandler* handler) {
    AsfCardSrc* self = Self(handler);
    const std::lock_guard lock(*self->cardMutex);
    return g_strdup(self->uri);
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
    const std::lock_guard lock(*self->cardMutex);
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

SeekPoints SeekPointsFor(GstElement* source, qint64 ns) {
    if (!source || ns < 0 || !G_TYPE_CHECK_INSTANCE_TYPE(source, asf_card_src_get_type()))
        return {};
    const std::shared_ptr<Card> card = CardOf(Self(source));
    if (!card || !card->layout)
        return {};
    const asf::Layout::SeekPoints points =
        card->layout->SeekPointsAt(ReaderOf(card->fd), guint64(ns));
    const auto signedNs = [](std::optional<uint64_t> v) {
        return v ? std::optional<qint64>(qint64(*v)) : std::nullopt;
    };
    return {signedNs(points.frameStart), signedNs(points.decodeFrom)};
}

std::optional<qint64> FrameStartAfter(GstElement* source, qint64 ns) {
    if (!source || ns < 0 || !G_TYPE_CHECK_INSTANCE_TYPE(source, asf_card_src_get_type()))
        return std::nullopt;
    const std::shared_ptr<Card> card = CardOf(Self(source));
    if (!card || !card->layout)
        return std::nullopt;
    const auto next = card->layout->FrameStartAfter(ReaderOf(card->fd), uint64_t(ns));
    return next ? std::optional<qint64>(qint64(*next)) : std::nullopt;
}

std::optional<qint64> KeyFrameAt(const QString& path, qint64 ns) {
    Card file;
    file.fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (file.fd < 0 || ns < 0 || fstat(file.fd, &st) != 0)
        return std::nullopt;
    const auto layout = asf::ReadLayout(ReaderOf(file.fd), guint64(st.st_size));
    const auto key = layout ? layout->KeyFrameAt(ReaderOf(file.fd), guint64(ns)) : std::nullopt;
    return key ? std::optional<qint64>(qint64(*key)) : std::nullopt;
}

std::optional<double> LengthOf(const QString& path) {
    Card file;
    file.fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (file.fd < 0 || fstat(file.fd, &st) != 0)
        return std::nullopt;
    const auto layout = asf::ReadLayout(ReaderOf(file.fd), guint64(st.st_size));
    if (!layout || layout->endMs <= layout->prerollMs)
        return std::nullopt;
    return double(layout->endMs - layout->prerollMs) / 1000.0;
}

} // namespace AsfCardSource
