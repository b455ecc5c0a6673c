"""A short voice session, scripted against the SDK stand-in: the connector
is created, answered, and reports back through the listener."""
from __future__ import print_function

import time

import _talkwire
import voicesdk

START = time.time()


def log(who, text):
    print("%7.3fs  %-8s %s" % (time.time() - START, who, text))


class Listener(object):
    def OnInitialized(self, status):
        log("listener", "OnInitialized(%d)" % status)

    def OnConnectivityTroubleShooterErrorFound(self, code, test, detail, info):
        log("listener", "troubleshooter: %s" % ("every test passed" if code == -1 else (code, test, detail)))


def main():
    voicesdk.reset()
    connector = _talkwire.Connector(Listener())
    log("client", "InitializeEx()")
    connector.InitializeEx()
    voicesdk.respond_to(1, "connector_create", {}, connector_handle="connector-1")
    log("client", "RunTroubleShooter()")
    connector.RunTroubleShooter()
    voicesdk.respond(voicesdk.requests()[-1]["cookie"], test_results=[(0, 0, None), (2, 1, None)])
    voicesdk.flush()
    voicesdk.post_quit()
    connector.Run()
    log("client", "Run() returned; requests issued: %d" % len(voicesdk.requests()))
    del connector


if __name__ == "__main__":
    main()
