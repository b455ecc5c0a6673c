"""talkwire: voice chat for the game client.

Connector (from the _talkwire extension module) connects to the voice
service, logs in, joins and steers channels, picks audio devices, runs the
connectivity troubleshooter and binds push-to-talk keys; everything the
service reports comes back as calls on a listener, a subclass of Listener,
while the client's thread runs Connector.Run(), or the host's own loop calls
pump() (talkwire.host_loop; talkwire.aio for asyncio).

    import talkwire

    class Game(talkwire.Listener):
        def OnInitialized(self, status_code):
            connector.Login("player", "secret")

        def OnLoggedIn(self, login_state):
            if login_state == talkwire.LOGGED_IN:
                connector.JoinChannelEx("lobby")

        def OnJoinedChannel(self, channel_name):
            pump_thread.quit()  # Run returns

    pump_thread = talkwire.QuitHandle()
    connector = talkwire.Connector(Game())
    connector.InitializeEx("orb")
    connector.Run()  # until pump_thread.quit()

`python -m talkwire` plays a demo session against the stand-in SDK's
simulated voice service; `python -m talkwire --version` prints __version__.
"""
from _talkwire import Connector

# The submodules by their own names: an alias would show in help(talkwire).
from talkwire import constants, host_loop
from talkwire.constants import *  # noqa: F401,F403 (the named values are part of the API)
from talkwire.host_loop import *  # noqa: F401,F403
from talkwire.listener import CALLBACKS, Listener

# The one place the version is written: the wheel's metadata reads it from
# here, and `python -m talkwire --version` prints it.
__version__ = "1.0.0"

__all__ = ["Connector", "Listener", "CALLBACKS"] + host_loop.__all__ + sorted(
    name for name in vars(constants) if name.isupper())
