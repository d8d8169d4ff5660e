// tavrin-usbdisk: one flash disk of a station file, plugged into an emulator's USB redirection
// device over a unix socket. The emulator listens; the disk is plugged while this program
// runs and pulled when it ends.
//   tavrin-usbdisk --station FILE --disk N --image FILE --socket PATH
//   tavrin-usbdisk --station FILE --disk N --dump-block FILE
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <usbredirparser.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/kernel/flash_disk.h"
#include "tests/kernel/usb_descriptors.h"

namespace {

using kernel_test::FlashDisk;

constexpr std::uint8_t kBulkIn = 0x81;
constexpr std::uint8_t kBulkOut = 0x02;

struct Link {
    int fd = -1;
    usbredirparser* parser = nullptr;
    FlashDisk* disk = nullptr;
    kernel_test::UsbDescriptors descriptors;
};

Link& Of(void* priv) {
    return *static_cast<Link*>(priv);
}

int ReadSocket(void* priv, std::uint8_t* data, int count) {
    const ssize_t n = read(Of(priv).fd, data, static_cast<std::size_t>(count));
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    return n <= 0 ? -1 : static_cast<int>(n);  // the emulator went away
}

int WriteSocket(void* priv, std::uint8_t* data, int count) {
    const ssize_t n = write(Of(priv).fd, data, static_cast<std::size_t>(count));
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    return n < 0 ? -1 : static_cast<int>(n);
}

void Log(void*, int level, const char* message) {
    if (level <= usbredirparser_warning)
        std::fprintf(stderr, "tavrin-usbdisk: %s\n", message);
}

// The device appears once the other side has said which capabilities it has.
void Hello(void* priv, usb_redir_hello_header*) {
    Link& link = Of(priv);
    usb_redir_interface_info_header interfaces{};
    interfaces.interface_count = 1;
    interfaces.interface_class[0] = 0x08;     // mass storage
    interfaces.interface_subclass[0] = 0x06;  // SCSI transparent
    interfaces.interface_protocol[0] = 0x50;  // bulk-only
    usbredirparser_send_interface_info(link.parser, &interfaces);

    usb_redir_ep_info_header endpoints{};
    std::memset(endpoints.type, usb_redir_type_invalid, sizeof endpoints.type);
    for (int i : {0, 16}) {  // endpoint 0, both directions
        endpoints.type[i] = usb_redir_type_control;
        endpoints.max_packet_size[i] = kernel_test::kMaxPacket;
    }
    for (std::uint8_t ep : {kBulkIn, kBulkOut}) {
        const int i = ((ep & 0x80) >> 3) | (ep & 0x0F);
        endpoints.type[i] = usb_redir_type_bulk;
        endpoints.max_packet_size[i] = kernel_test::kMaxPacket;
    }
    usbredirparser_send_ep_info(link.parser, &endpoints);

    usb_redir_device_connect_header connect{};
    connect.speed = usb_redir_speed_full;
    connect.vendor_id = link.descriptors.vendorId;
    connect.product_id = link.descriptors.productId;
    connect.device_version_bcd = link.descriptors.deviceVersion;
    usbredirparser_send_device_connect(link.parser, &connect);
}

void Reset(void* priv) {
    Of(priv).disk->Reset();
}

void SetConfiguration(void* priv, std::uint64_t id, usb_redir_set_configuration_header* set) {
    usb_redir_configuration_status_header status{usb_redir_success, set->configuration};
    usbredirparser_send_configuration_status(Of(priv).parser, id, &status);
}

void GetConfiguration(void* priv, std::uint64_t id) {
    usb_redir_configuration_status_header status{usb_redir_success, 1};
    usbredirparser_send_configuration_status(Of(priv).parser, id, &status);
}

void SetAltSetting(void* priv, std::uint64_t id, usb_redir_set_alt_setting_header* set) {
    usb_redir_alt_setting_status_header status{usb_redir_success, set->interface, set->alt};
    usbredirparser_send_alt_setting_status(Of(priv).parser, id, &status);
}

void GetAltSetting(void* priv, std::uint64_t id, usb_redir_get_alt_setting_header* get) {
    usb_redir_alt_setting_status_header status{usb_redir_success, get->interface, 0};
    usbredirparser_send_alt_setting_status(Of(priv).parser, id, &status);
}

void Control(void* priv, std::uint64_t id, usb_redir_control_packet_header* header,
             std::uint8_t* data, int length) {
    Link& link = Of(priv);
    const kernel_test::ControlAnswer answer = kernel_test::AnswerControl(
        link.descriptors, header->requesttype, header->request, header->value, header->length);
    if (answer.resetsTransport)
        link.disk->Reset();
    usb_redir_control_packet_header reply = *header;
    reply.status = answer.stall ? usb_redir_stall : usb_redir_success;
    const bool in = (header->requesttype & 0x80) != 0;
    reply.length = static_cast<std::uint16_t>(in ? answer.bytes.size() : length);
    usbredirparser_send_control_packet(
        link.parser, id, &reply, in ? const_cast<std::uint8_t*>(answer.bytes.data()) : nullptr,
        in ? static_cast<int>(answer.bytes.size()) : 0);
    if (data != nullptr)
        usbredirparser_free_packet_data(link.parser, data);
}

void Bulk(void* priv, std::uint64_t id, usb_redir_bulk_packet_header* header, std::uint8_t* data,
          int length) {
    Link& link = Of(priv);
    usb_redir_bulk_packet_header reply = *header;
    if (header->endpoint == kBulkOut) {
        const bool ok = link.disk->BulkOut({data, static_cast<std::size_t>(length)});
        reply.status = ok ? usb_redir_success : usb_redir_stall;
        usbredirparser_send_bulk_packet(link.parser, id, &reply, nullptr, 0);
    } else {
        const std::size_t wanted = (std::size_t{header->length_high} << 16) | header->length;
        kernel_test::BulkIn in = link.disk->BulkInTransfer(wanted);
        reply.status = in.stall ? usb_redir_stall : usb_redir_success;
        reply.length = static_cast<std::uint16_t>(in.bytes.size() & 0xFFFF);
        reply.length_high = static_cast<std::uint16_t>(in.bytes.size() >> 16);
        usbredirparser_send_bulk_packet(link.parser, id, &reply, in.bytes.data(),
                                        static_cast<int>(in.bytes.size()));
    }
    if (data != nullptr)
        usbredirparser_free_packet_data(link.parser, data);
}

int Connect(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // The emulator may still be starting: its socket comes within a few seconds.
    for (int attempt = 0; attempt < 300; ++attempt) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return -1;
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            return fd;
        }
        close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return -1;
}

int Serve(Link& link) {
    usbredirparser* parser = usbredirparser_create();
    link.parser = parser;
    parser->priv = &link;
    parser->log_func = Log;
    parser->read_func = ReadSocket;
    parser->write_func = WriteSocket;
    parser->hello_func = Hello;
    parser->reset_func = Reset;
    parser->set_configuration_func = SetConfiguration;
    parser->get_configuration_func = GetConfiguration;
    parser->set_alt_setting_func = SetAltSetting;
    parser->get_alt_setting_func = GetAltSetting;
    parser->control_packet_func = Control;
    parser->bulk_packet_func = Bulk;
    std::uint32_t caps[USB_REDIR_CAPS_SIZE] = {};
    for (int cap : {usb_redir_cap_connect_device_version, usb_redir_cap_ep_info_max_packet_size,
                    usb_redir_cap_64bits_ids, usb_redir_cap_32bits_bulk_length})
        usbredirparser_caps_set_cap(caps, cap);
    usbredirparser_init(parser, "tavrin-usbdisk", caps, USB_REDIR_CAPS_SIZE,
                        usbredirparser_fl_usb_host);
    for (;;) {
        pollfd p{link.fd, POLLIN, 0};
        if (usbredirparser_has_data_to_write(parser))
            p.events |= POLLOUT;
        if (poll(&p, 1, -1) < 0 && errno != EINTR)
            break;
        if ((p.revents & (POLLIN | POLLHUP | POLLERR)) != 0 && usbredirparser_do_read(parser) != 0)
            break;
        if (usbredirparser_has_data_to_write(parser) && usbredirparser_do_write(parser) != 0)
            break;
    }
    usbredirparser_destroy(parser);
    return 0;
}

int Usage(const std::string& why) {
    std::cerr << "tavrin-usbdisk: " << why << "\n"
              << "usage: tavrin-usbdisk --station FILE --disk N (--image FILE --socket PATH | "
                 "--dump-block FILE)\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string station, image, socketPath, dump;
    int diskNumber = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 == argc)
            return Usage(arg + " needs a value");
        const std::string value = argv[++i];
        if (arg == "--station")
            station = value;
        else if (arg == "--disk")
            diskNumber = std::atoi(value.c_str());
        else if (arg == "--image")
            image = value;
        else if (arg == "--socket")
            socketPath = value;
        else if (arg == "--dump-block")
            dump = value;
        else
            return Usage("unknown option " + arg);
    }
    if (station.empty() || diskNumber < 0 ||
        (dump.empty() && (image.empty() || socketPath.empty())))
        return Usage("missing option");

    sim::StationDescription description;
    const sim::StationFileResult read = sim::ReadStationFile(station, description);
    if (!read.ok)
        return Usage(station + ": " + read.error);
    const auto answers = description.answers.find(diskNumber);
    if (answers == description.answers.end())
        return Usage(station + ": no disk " + std::to_string(diskNumber));

    if (!dump.empty()) {
        std::ofstream out(dump, std::ios::binary);
        out.write(reinterpret_cast<const char*>(answers->second.block.data()),
                  static_cast<std::streamsize>(answers->second.block.size()));
        return out ? 0 : 1;
    }

    std::ifstream in(image, std::ios::binary);
    std::vector<std::uint8_t> medium((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (medium.size() < kernel_test::kSectorSize)
        return Usage(image + ": not a disk image");

    // Said before the wait, so that the harness can pull the disk in the middle of a command.
    FlashDisk disk(
        answers->second, std::move(medium), [diskNumber](std::chrono::milliseconds delay) {
            std::fprintf(stderr, "tavrin-usbdisk: disk %d holds a reply back for %lld ms\n",
                         diskNumber, static_cast<long long>(delay.count()));
            std::this_thread::sleep_for(delay);
        });
    Link link;
    link.disk = &disk;
    link.descriptors = kernel_test::DescriptorsFor(diskNumber);
    link.fd = Connect(socketPath);
    if (link.fd < 0) {
        std::cerr << "tavrin-usbdisk: cannot connect to " << socketPath << "\n";
        return 1;
    }
    return Serve(link);
}
