"""The local voice server's wire protocol under hostile clients: an old
version is refused in words, and every malformed, truncated or oversized
frame closes that one connection and nothing else."""
import random
import socket
import struct
import time
import unittest

import voicesdk
from server_support import ServerTest, uri

# What this build's clients claim in their hello.
VERSION, DIGEST = voicesdk.server_protocol()
HELLO, WELCOME, REFUSED, REQUEST, RESPONSE, EVENT, PING, PONG = range(1, 9)
MAGIC = b"TWVS"


def frame(kind, payload=b""):
    return struct.pack(">IB", len(payload) + 1, kind) + payload


def hello(version, digest=None):
    payload = MAGIC + struct.pack(">H", version)
    return frame(HELLO, payload + (struct.pack(">I", digest) if digest is not None else b""))


class RawClient(object):
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=15.0)
        self.buffer = b""

    def send(self, data):
        self.sock.sendall(data)

    def read_frame(self):
        """(type, payload), or None once the server has closed."""
        while True:
            if len(self.buffer) >= 4:
                (length,) = struct.unpack(">I", self.buffer[:4])
                if len(self.buffer) >= 4 + length:
                    kind = ord(self.buffer[4:5])
                    payload = self.buffer[5:4 + length]
                    self.buffer = self.buffer[4 + length:]
                    return kind, payload
            try:
                data = self.sock.recv(65536)
            except socket.error:  # reset by the server
                return None
            if not data:
                return None
            self.buffer += data

    def closed(self):
        """True once the server has closed this connection (whatever it
        sent before)."""
        while True:
            if self.read_frame() is None:
                return True

    def close(self):
        self.sock.close()


class ProtocolTest(ServerTest):
    def setUp(self):
        ServerTest.setUp(self)
        self.clients = []
        # A real player beside the raw clients, who must not notice them.
        self.ann = self.player("ann")
        self.ann.call("JoinChannelEx", "lobby")
        self.ann.expect("OnJoinedChannel", "lobby")

    def tearDown(self):
        for client in self.clients:
            client.close()
        ServerTest.tearDown(self)

    def raw(self):
        client = RawClient(self.server.port)
        self.clients.append(client)
        return client

    def assert_still_serving(self):
        """The player still plays and a new client still gets a welcome."""
        bob = self.player("bob")
        bob.call("JoinChannelEx", "lobby")
        self.ann.expect("OnParticipantJoined", uri("bob"), "lobby")
        bob.quit()
        client = self.raw()
        client.send(hello(99))
        kind, _ = client.read_frame()
        self.assertEqual(kind, REFUSED)

    def test_an_old_client_gets_a_refusal_it_can_read(self):
        for version in (0, 2, 65535):
            client = self.raw()
            client.send(hello(version))
            kind, payload = client.read_frame()
            self.assertEqual(kind, REFUSED)
            (server_version,) = struct.unpack(">H", payload[:2])
            (length,) = struct.unpack(">I", payload[2:6])
            reason = payload[6:6 + length].decode("utf-8")
            self.assertEqual(server_version, VERSION)
            self.assertIn("protocol version %d" % VERSION, reason)
            self.assertIn("version %d" % version, reason)
            self.assertTrue(client.closed())
        # A build whose records differ is refused too.
        client = self.raw()
        client.send(hello(1, DIGEST ^ 1))
        kind, payload = client.read_frame()
        self.assertEqual(kind, REFUSED)
        self.assertIn(b"records differ", payload)
        self.assert_still_serving()

    def test_malformed_frames_close_only_their_connection(self):
        bad = [
            b"GET / HTTP/1.1\r\n\r\n",                      # not this protocol at all
            frame(PING),                                   # anything before the hello
            frame(HELLO, b"XXXX\x00\x01\x00\x00\x00\x00"),  # wrong magic
            struct.pack(">I", 10 ** 7) + b"\x04",          # oversized
            struct.pack(">I", 0),                          # empty
        ]
        for data in bad:
            client = self.raw()
            client.send(data)
            self.assertTrue(client.closed(), data)
        self.assert_still_serving()

    def test_malformed_requests_after_the_handshake_close_only_their_connection(self):
        rng = random.Random(1234)
        requests = [
            frame(REQUEST, b"\x00\x00"),                                  # id cut short
            frame(REQUEST, struct.pack(">IH", 1, 3)),                     # login without its fields
            frame(REQUEST, struct.pack(">IH", 1, 3) + b"\x00\x00\xff\xff"),  # a text past the end
            frame(REQUEST, struct.pack(">IH", 1, 999)),                   # no such request
            frame(RESPONSE, struct.pack(">I", 1)),                        # the server's frame
            frame(PING, b"x"),                                            # a ping with a payload
        ] + [frame(REQUEST, bytes(bytearray(rng.randrange(256) for _ in range(rng.randrange(1, 40)))))
             for _ in range(20)]
        welcome = None
        for data in requests:
            client = self.raw()
            client.send(hello(1, DIGEST))
            kind, welcome = client.read_frame()
            self.assertEqual(kind, WELCOME)
            client.send(frame(PING))
            self.assertEqual(client.read_frame(), (PONG, b""))
            client.send(data)
            self.assertTrue(client.closed(), data)
        self.assertEqual(struct.unpack(">H", welcome[:2]), (VERSION,))
        self.assert_still_serving()

    def test_a_truncated_frame_and_a_silent_client_are_only_theirs(self):
        client = self.raw()
        client.send(hello(1, DIGEST)[:7])
        client.close()
        self.assert_still_serving()


class HandshakeDeadlineTest(ServerTest):
    OPTIONS = ("--heartbeat", "1")

    def test_a_client_that_never_says_hello_is_dropped(self):
        client = RawClient(self.server.port)
        try:
            start = time.time()
            self.assertTrue(client.closed())
            self.assertLess(time.time() - start, 30.0)
        finally:
            client.close()


if __name__ == "__main__":
    unittest.main()
