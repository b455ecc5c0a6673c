"""The listener protocol: every method a Connector ever calls on the object
it was given."""


class Listener(object):
    """Base class for the object given to Connector(listener).

    The connector calls these methods while its thread runs the message pump
    (Connector.Run, or the host's own message loop), one at a time, on that
    thread.  Each method here does nothing: override the ones you need.

    A listener need not derive from this class; any object will do, and a
    missing method is simply not called.  An exception a method raises does
    not stop the connector: it goes to the interpreter's unraisable-exception
    hook.  KeyboardInterrupt and SystemExit are the exceptions: they end
    Connector.Run, which raises them (the messages after the one that raised
    wait for the next Run); a host's own message loop reports them like the
    rest.  Return values are ignored.  A method may call any Connector method.

    Channel names are the names given to JoinChannelEx; participant URIs are
    the voice service's.  Status texts are never None (an absent text arrives
    as "").
    """

    def OnInitialized(self, status_code):
        """The connector-create request was answered (after InitializeEx).

        status_code: 0 when the connector exists and Login may be called;
        otherwise the voice service's status code of the failure.
        """

    def OnShutDown(self):
        """The connector was shut down (after InitiateShutdown).

        Called without arguments, once the connector handle is gone: Login
        needs a new InitializeEx from here on.
        """

    def OnAccountCreated(self):
        """CreateAccount succeeded: the account may now log in.  No arguments."""

    def OnCreateAccountFailed(self, status_code, status_text):
        """CreateAccount failed.

        status_code, status_text: the voice service's reason.
        """

    def OnAccountNotFound(self):
        """Login failed because the account does not exist (status 20200,
        STATUS_ACCOUNT_NOT_FOUND), whether the login request itself failed or
        the account's login state later reported it.  No arguments.  Every
        channel has been forgotten.
        """

    def FailedOnLogin(self, status_code, status_text):
        """Login failed for any other reason (a wrong password, for one).

        status_code, status_text: the voice service's reason.  When the
        failure came as a login state, every channel has been forgotten.
        """

    def OnLoggedIn(self, login_state):
        """The account's login state changed.

        login_state: LOGGING_IN (1), LOGGED_IN (2), LOGGING_OUT (3) or
        LOGGED_OUT (0).  A login reports LOGGING_IN then LOGGED_IN; a Logout
        reports LOGGING_OUT then LOGGED_OUT.  At LOGGED_OUT every channel has
        already been forgotten, and JoinChannelEx needs a new login.
        """

    def FailedChannelCreate(self, status_code, status_text):
        """The voice service refused to create a channel that JoinChannelEx
        asked for.

        status_code, status_text: the service's reason.  The channel stays
        wanted; call LeaveChannel to give it up.
        """

    def FailedJoinChannel(self, status_code, message):
        """A channel's voice session could not be added, or was lost before
        it connected.

        status_code: the voice service's status code.
        message: a composed text naming the channel's URI and the service's
        status text, or the status text alone when the session was lost while
        connecting (OnLeftChannel follows then).
        """

    def OnJoinedChannel(self, channel_name):
        """The voice session of a channel is connected: the user hears it.

        channel_name: the name given to JoinChannelEx.  Channels join one at
        a time: the next waiting channel is placed once this one connects.
        """

    def OnLeftChannel(self, channel_name):
        """A channel's voice session is gone (after LeaveChannel, or because
        the voice service ended it).

        channel_name: the name given to JoinChannelEx.
        """

    def OnParticipantJoined(self, participant_uri, channel_name):
        """Someone came into a joined channel.

        participant_uri: who; channel_name: where.  GetParticipants lists
        them from now on.
        """

    def OnParticipantLeft(self, participant_uri, channel_name):
        """Someone left a joined channel.

        participant_uri: who; channel_name: where.
        """

    def OnParticipantStateChanged(self, participant_uri, channel_name, flag_a, flag_b):
        """A participant's properties changed (for one, they started or
        stopped talking).

        participant_uri: who; channel_name: where.
        flag_a, flag_b: the voice service's two participant flags, exactly as
        it reported them (flag_a non-zero while the participant talks, on the
        simulated service).  Called for every report, also when nothing
        changed.
        """

    def OnMicrophoneIntensityEvent(self, level, minimum, maximum):
        """The microphone's level, reported while the microphone test runs
        (StartAudioTest until StopAudioTest).

        level: from minimum to maximum; minimum: always 0 (MIC_LEVEL_MIN);
        maximum: always 100 (MIC_LEVEL_MAX).
        """

    def OnKeyEvent(self, binding_name, key_state):
        """A key of a binding given to EnableGlobalPushToTalkMode changed.

        binding_name: the binding's name, or None when the service gave none.
        key_state: the service's key state (for instance pressed or released).
        """

    def OnConnectorEvent(self, event_type, unused_a, unused_b):
        """The voice service reported something the connector has no handling
        for.

        event_type: the service's event type number; unused_a and unused_b
        are always 0.
        """

    def OnConnectivityTroubleShooterErrorFound(self, outcome, test_name, detail, info):
        """The report of RunTroubleShooter; exactly one call per run.

        outcome: TROUBLESHOOTER_ALL_PASSED (-1) when every test passed (the
        three texts are then ""); TROUBLESHOOTER_TEST_FAILED (0) when a test
        failed: test_name names the first failed test (CONNECTIVITY_TESTS),
        detail is its result code, a space and the service's status text, and
        info is the test's own information; any other value is the status
        code with which the whole request failed: test_name is then
        "General Failure", detail the status code, a space and the status
        text, and info "".
        """


# Every callback, in the order Listener defines them: the class is the
# catalogue, which the module's dispatcher is built from.
CALLBACKS = tuple(sorted((name for name in vars(Listener) if not name.startswith("_")),
                         key=lambda name: vars(Listener)[name].__code__.co_firstlineno))
